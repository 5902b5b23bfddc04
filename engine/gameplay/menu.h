#pragma once

#include <cstdint>

// The in-game menu. Until the gameplay issue lands it is never shown; it
// keeps the state the window procedure reads.
class cTarvelMenu {
public:
    cTarvelMenu();
    ~cTarvelMenu();
    cTarvelMenu(const cTarvelMenu&) = delete;
    cTarvelMenu& operator=(const cTarvelMenu&) = delete;

    void OnChar(int character);
    // Closes the menu.
    void ClearSlotList();
    void SaveOptions();
    // Opens the menu on its main page.
    void DrawMain();
    // Clears the new-game request and starts a new game.
    void StartNewGame();
    void LoadTextures();
    void Render();
    // The frame's input while the menu is open; the stand-in takes none.
    void Update() {}
    void Release();

    bool mShown;
    // 1 slot list, 2 options page with sliders, 4 savegame-name entry.
    int32_t mPageState;
    int32_t mSelectedItem;
    // 1.0 or more covers the screen.
    float mFade = 0.0f;
};
