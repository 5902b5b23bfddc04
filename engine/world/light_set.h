#pragma once

// Lights, shadow casters and the flashlight. Until the world issue lands it
// holds none and its updates do nothing.
class cTarvelLightSet {
public:
    cTarvelLightSet();
    ~cTarvelLightSet();
    cTarvelLightSet(const cTarvelLightSet&) = delete;
    cTarvelLightSet& operator=(const cTarvelLightSet&) = delete;

    void Update();
    // Deletes the flashlight and clears the lights and shadow casters.
    void Reset();
};
