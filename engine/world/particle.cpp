#include "engine/world/particle.h"

cTarvelParticle::cTarvelParticle() {}
cTarvelParticle::~cTarvelParticle() = default;

void cTarvelParticle::Update() {}

void cTarvelParticle::Render() {}

void cTarvelParticle::CollectRenderItems(tArray<sRenderItem>&, int) {}

void cTarvelParticle::SaveState(cTarvelSavegame&) {}
