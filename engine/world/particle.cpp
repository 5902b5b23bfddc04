#include "engine/world/particle.h"

cTarvelParticle::cTarvelParticle() {}
cTarvelParticle::~cTarvelParticle() = default;

void cTarvelParticle::Update() {}

void cTarvelParticle::Render() {}
