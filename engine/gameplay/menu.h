#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/render/shader_lib.h"
#include "platform/win32/windows_types.h"

class cTarvelImage;
class cTarvelText;
struct IDirect3DTexture9;
struct sSoundRecord;

struct tMenuPoint {
    int32_t x;
    int32_t y;
};

// A hit area of a menu page, menu-relative: four corners, the first again to
// close the outline, and a marker point (where the hand points).
struct tMenuRegion {
    tMenuPoint p[5];
    tMenuPoint m;

    // From p0.x, p0.y, ..., p3.x, p3.y, m.x, m.y, each truncated toward zero.
    static tMenuRegion FromFloats(const float (&values)[10]);
};

// One entry of a savegame page's slot list; a plain record.
struct tSaveSlot {
    SYSTEMTIME saveTime;
    // saveTime as a FILETIME: the sort key. All ones for the new-savegame
    // entry, zero when the header was not valid.
    uint64_t saveFileTime;
    char name[127];
    char descriptionKey[16];
    char fileName[261];
};

// A line of the description box: its shadow and its text, with the number
// of characters the line has.
struct tDescriptionLine {
    cTarvelText* shadow;
    cTarvelText* text;
    int32_t count;
};

// The pause menu opened with Escape: the main page, the options page, the
// load and save pages and a yes/no confirmation. It raises the quit,
// new-game, load, save and thumbnail requests that the main loop serves, and
// owns the routine that starts a new game. Pages are drawn on the 1024 x 768
// layout; menu-relative points lie at (256, 128) + (x, y).
class cTarvelMenu {
public:
    // Pages (mState).
    static constexpr int32_t kMainPage = 1;
    static constexpr int32_t kOptionsPage = 2;
    static constexpr int32_t kLoadPage = 3;
    static constexpr int32_t kSavePage = 4;
    static constexpr int32_t kConfirmQuit = 101;
    static constexpr int32_t kConfirmNewGame = 102;
    static constexpr int32_t kConfirmOverwrite = 103;
    // Typed savegame names stop at this many characters and below this width
    // (with the caret) in font 4.
    static constexpr uint32_t kNameLimit = 31;
    static constexpr int32_t kNameWidthLimit = 200;

    cTarvelMenu();
    ~cTarvelMenu();
    cTarvelMenu(const cTarvelMenu&) = delete;
    cTarvelMenu& operator=(const cTarvelMenu&) = delete;

    // Fixed pictures, effects and sounds, at the end of engine start-up; a
    // missing picture is fatal.
    void LoadTextures();
    void Release();

    // Opens the main page when the game allows it (no video, screen control,
    // speech or fade; input open).
    void OpenMainPage();
    void Close();
    // Leaves the current page: a confirmation goes back to the page it was
    // asked from, any other page to the main page (the options page writes
    // the registry first).
    void ClosePage();
    // A typed character on the save page.
    void OnChar(int character);
    // The frame's input while open.
    void Update();
    void Render();
    // Resets the game and calls "Main::Start" (the main loop's new-game
    // request).
    void StartNewGame();

    void OpenOptionsPage();
    void OpenConfirm(int32_t kind);
    void OpenSlotPage(int32_t mode);
    void ShowSlot();
    void SetDescription(const cTarvelString& text);
    // A save the main loop could not write: the save page opens again with
    // the reason in its description box (when the game lets the menu open).
    void ShowSaveFailure(const cTarvelString& message);
    // An error message for the description box: a line per sentence.
    static cTarvelString DescriptionOfError(const cTarvelString& message);
    void UpdateNameLine();

    bool IsMouseInRegion(const tMenuRegion& region) const;
    // The slider value 0..255 under the mouse for the slider of item 1 to 4.
    int32_t SliderValueFromMouse(int32_t item) const;
    // True when the name may be saved under: not empty, at most kNameLimit
    // characters, no "/", "\" or ":", not starting with ".".
    static bool IsValidSaveName(const cTarvelWString& name);

    bool mOpen;
    int32_t mState;
    int32_t mHovered;
    int32_t mLastHovered;
    int32_t mClicked;
    // Game time in ms when the main page was opened; mFade = min(1, seconds
    // since), 1.0 covering the screen.
    DWORD mOpenTime;
    float mFade = 0.0f;

    cTarvelImage* mBackTop;   // owned, as are the fixed pictures below
    cTarvelImage* mBackBottom;
    cTarvelImage* mOk;
    cTarvelImage* mCancel;
    cTarvelImage* mLeft;
    cTarvelImage* mRight;
    cTarvelImage* mHand;
    cTarvelImage* mSel;
    cTarvelShaderBinding mPolaroid;
    cTarvelShaderBinding mThumbnailEffect;
    cTarvelShaderBinding mVericon;
    cTarvelShaderBinding mVericonBW;
    // 0 hover, 1 click; owned.
    tArray<sSoundRecord*> mSounds;
    // Owned pictures: the main page's ("menu-mainc", "menu-maina") and the
    // page on top of it (for a confirmation its picture is the last).
    tArray<cTarvelImage*> mMainPictures;
    tArray<cTarvelImage*> mPagePictures;
    tArray<tMenuRegion> mMainRegions;
    tArray<tMenuRegion> mOptionRegions;
    tArray<cTarvelString> mSliderNames;

    // The savegame pages.
    int32_t mSelectedSlot;
    tArray<tSaveSlot> mSlots;
    tArray<tDescriptionLine> mDescriptionLines;
    DWORD mDescriptionStart;
    IDirect3DTexture9* mThumbnail;
    cTarvelWString mTypedName;
    cTarvelString mAllowedKeys;
    bool mCaretOn;
    DWORD mCaretTime;
    bool mEnterPressed;
    cTarvelText* mNameLine;
    cTarvelString mSavePath;

private:
    void UpdateMainPage();
    void UpdateOptionsPage();
    void UpdateConfirm();
    void UpdateSlotPage();
    void RenderMainPage();
    void RenderOptionsPage();
    void RenderConfirm();
    void RenderSlotPage();
    void DrawSlider(int32_t item, uint32_t value);
    // Hover sound on a change to a valid item, the cursor, and the click.
    void CommonInput(int32_t itemCount, bool hoverSoundForItem0);
    void PlaySound(int index);
    bool MouseInRect(int32_t left, int32_t top, int32_t right, int32_t bottom) const;
    void DrawIcon(cTarvelImage* image, bool hovered, float brightness);
    void ApplySlider(int32_t item, uint32_t value);
    void WriteOptions();
    void ClearPageTexts();
    void ClearSlotPage();
    // Asks the main loop to save to mSavePath and to take the picture.
    void RequestSave();
    cTarvelString SavegameFile(const char* name) const;
};
