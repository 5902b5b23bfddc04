#pragma once

#include <cstdint>

// The inventory. Until the inventory itself lands it holds no items: it
// keeps the bar's state, which the gameplay controller opens and closes.
class cTarvelInventory {
public:
    // Bar states.
    static constexpr int32_t kClosed = 1;
    static constexpr int32_t kOpen = 2;
    static constexpr int32_t kOpening = 3;
    static constexpr int32_t kClosing = 4;

    cTarvelInventory();
    ~cTarvelInventory();
    cTarvelInventory(const cTarvelInventory&) = delete;
    cTarvelInventory& operator=(const cTarvelInventory&) = delete;

    // Interface images and effects; 0.
    int InitInterface() { return 0; }
    void Render();
    void Release();
    // Pops the bar up (toggling the pop-up flag of the interface flags) or
    // turns a closing bar back.
    void Show();
    // Closes the bar and clears the pop-up flag.
    void Hide();
    // Lets the inventory bar be used (each scene start): closed, no pop-up.
    void Enable();
    // A click and a double click on the bar; with no items nothing is hit.
    void UseItemAt() {}
    void SelectItemAt() {}
    // Puts the item in hand away.
    void UnselectItem();
    void Save(class cTarvelSavegame& savegame); void Load(class cTarvelSavegame& savegame);  // savegame stand-in: the inventory branch owns these

    bool mEnabled = false;
    int32_t mBarState = kClosed;
    // Game time in ms of the bar's last change.
    uint32_t mBarStart = 0;
};
