#pragma once

// The PDA screen. Until the gameplay issue lands it holds nothing.
class cTarvelPDA {
public:
    cTarvelPDA();
    ~cTarvelPDA();
    cTarvelPDA(const cTarvelPDA&) = delete;
    cTarvelPDA& operator=(const cTarvelPDA&) = delete;

    // Loads the PDA's pictures and sounds at gameplay start-up; none yet.
    void LoadResources() {}
    void Release();
    // Closes the PDA when it is open.
    void Close() { mOpen = false; }

    bool mOpen = false;
};
