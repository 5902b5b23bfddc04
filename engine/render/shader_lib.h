#pragma once

// The shader library. Until the graphics issue lands it loads no effects.
class cTarvelShaderLib {
public:
    cTarvelShaderLib();
    ~cTarvelShaderLib();
    cTarvelShaderLib(const cTarvelShaderLib&) = delete;
    cTarvelShaderLib& operator=(const cTarvelShaderLib&) = delete;

    int Init();
    void Release();

    // Stand-in only: what Init returns, so tests can follow an ignored step.
    int mStandInResult = 0;
};
