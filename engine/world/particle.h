#pragma once

// A particle system of the scene. Until the world issue lands there are none;
// the frame draws render items of kind 3 through Render.
class cTarvelParticle {
public:
    cTarvelParticle();
    virtual ~cTarvelParticle();
    cTarvelParticle(const cTarvelParticle&) = delete;
    cTarvelParticle& operator=(const cTarvelParticle&) = delete;

    virtual void Update();
    virtual void Render();
};
