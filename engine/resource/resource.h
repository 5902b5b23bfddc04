#pragma once

// Resource archive of the engine. This is the least the main object needs
// until the archive itself lands: start-up and closing a scene's slot.
class cTarvelResource {
public:
    cTarvelResource();
    ~cTarvelResource();
    cTarvelResource(const cTarvelResource&) = delete;
    cTarvelResource& operator=(const cTarvelResource&) = delete;

    // 0 when the archive is ready, -1 when it is not.
    int Initialize();
    int CloseResource(int slot);
};
