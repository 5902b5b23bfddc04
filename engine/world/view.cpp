#include "engine/world/view.h"

#include "engine/core/tarvel.h"
#include "engine/world/scene.h"

cTarvelView::cTarvelView() : mNoActors(false) {}
cTarvelView::~cTarvelView() = default;

void cTarvelView::Render(void*) {}

void cTarvelView::Select(int stage)
{
    if (cTarvelScene* scene = gTarvel.mScene)
        (stage == 1 ? scene->mSecondView : scene->mView) = this;
}
