#pragma once

// A camera of the main object (main and second camera). Until the world
// issue lands it holds no pose and its per-frame update does nothing.
class cTarvelCamera {
public:
    cTarvelCamera();
    ~cTarvelCamera();

    void Update();
};
