#include "engine/world/view.h"

cTarvelView::cTarvelView() : mNoActors(false) {}
cTarvelView::~cTarvelView() = default;

void cTarvelView::Render(void*) {}
