#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/shader_lib.h"
#include "platform/win32/windows_types.h"

class cTarvelActor;
class cTarvelImage;
class cTarvelRegionSet;
class cTarvelScript;
class cTarvelScriptValue;

// One choice of a bar: what it acts on, its icon and the script function or
// event that choosing it runs.
struct sBarEntry {
    cTarvelRegionSet* hotspot = nullptr;
    cTarvelActor* actor = nullptr;
    // An inventory item, as its script machine and its object there: the
    // item records move when the inventory's list grows, these do not.
    cTarvelScript* itemScript = nullptr;
    uint64_t itemSerial = 0;   // another machine may take a gone one's address
    cTarvelScriptValue* itemObject = nullptr;
    cTarvelImage* icon = nullptr;   // in the bar's icon list
    cTarvelString function;
    // Shown by the tooltip while the entry is hovered.
    cTarvelString label;
    // The icon's top-left corner; written by the dialogue bar's layout.
    int32_t x = 0;
    int32_t y = 0;
};

// What the verb bar and the dialogue bar share: a script fills the entries
// from an event, the bar fades in, takes the choice and fades out. Both are
// members of the engine main object.
class cTarvelBar : public cTarvelScreenControl {
public:
    static constexpr int32_t kShown = 0;
    static constexpr int32_t kFadingIn = 1;
    static constexpr int32_t kFadingOut = 2;
    // Icons are this big; the bars place and hit-test them by it.
    static constexpr int32_t kIconSize = 64;

    cTarvelBar();
    ~cTarvelBar() override;
    cTarvelBar(const cTarvelBar&) = delete;
    cTarvelBar& operator=(const cTarvelBar&) = delete;

    // Deletes the icons. The entries point at them, so they go too.
    void ReleaseResources() override;
    // The label of an entry (the tooltip's text); empty outside the entries.
    cTarvelString EntryText(int32_t index) const;
    // Stops taking input and fades out; the gameplay update pops the bar
    // when the fade is over.
    void FadeOut();

    // True while the bar takes input.
    bool mOpen = false;
    cTarvelShaderBinding mHighlighted{};
    cTarvelShaderBinding mDimmed{};
    tArray<cTarvelImage*> mIcons;   // owned
    tArray<sBarEntry> mEntries;
    int32_t mHovered = -1;
    int32_t mState = kFadingIn;
    // Game time in ms when the state began.
    DWORD mStateTime = 0;
    // Cleared whenever an entry is added; the layout runs once after that.
    bool mLaidOut = false;

protected:
    void BindEffects();
    void ClearEntries();
    // Loads the icon of that name or reuses the one already loaded, then
    // appends the entry with it.
    void AddEntry(const cTarvelString& iconName, sBarEntry entry);
    // Empties the entries and sends the event through the machine; the bar
    // opens when the handler added an entry.
    void Open(cTarvelScript* script, cTarvelScriptValue* object, const char* event);
    // The fade's intensity for this frame; false when the fade-out is over
    // (the bar is then done and draws nothing).
    bool Fade(float& intensity);
    void DrawIcons(float intensity);
    // Animated icons start looping once the bar takes input.
    void StartIcons();
    static bool TakeLeftClick();
    static bool TakeRightClick();
};
