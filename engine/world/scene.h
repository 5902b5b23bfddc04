#pragma once

class cTarvelScript;

// A scene. Until the world issue lands a scene holds only what the main
// object uses when it changes scenes: its open resource slot and its script.
class cTarvelScene {
public:
    cTarvelScene();
    virtual ~cTarvelScene();
    cTarvelScene(const cTarvelScene&) = delete;
    cTarvelScene& operator=(const cTarvelScene&) = delete;

    // 0 when the scene file was read from slot.
    virtual int ReadFile(int slot, int mode);
    virtual void InitObjects(int mode);
    virtual void Leave(int mode);
    // Releases the scene's contents before it is deleted.
    virtual void Clear();
    virtual void Update();

    // The resource slot the scene file is read from (-1 when none).
    int mSlot;
    cTarvelScript* mScript;
};
