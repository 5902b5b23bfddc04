#pragma once

// The inventory. Until the gameplay issue lands it holds no items.
class cTarvelInventory {
public:
    cTarvelInventory();
    ~cTarvelInventory();
    cTarvelInventory(const cTarvelInventory&) = delete;
    cTarvelInventory& operator=(const cTarvelInventory&) = delete;

    void Render();
    void Release();
    // Lets the inventory bar be used (each scene start).
    void Enable() { mEnabled = true; }

    bool mEnabled = false;
};
