#pragma once

// Fonts and the live text objects. Until the graphics issue lands there are
// none.
class cTarvelFont {
public:
    cTarvelFont();
    ~cTarvelFont();
    cTarvelFont(const cTarvelFont&) = delete;
    cTarvelFont& operator=(const cTarvelFont&) = delete;

    // Deletes every live text object.
    void Release();
};
