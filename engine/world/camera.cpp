#include "engine/world/camera.h"

cTarvelCamera::cTarvelCamera() = default;
cTarvelCamera::~cTarvelCamera() = default;

void cTarvelCamera::Update() {}
