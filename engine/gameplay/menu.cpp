#include "engine/gameplay/menu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/render/font.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/sound/sound.h"
#include "engine/world/scene.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char* kSettingsKey = "Software\\Brindlewerk\\Kestrelmoor";
// The menu's origin on the 1024 x 768 layout.
constexpr int32_t kMenuX = 256;
constexpr int32_t kMenuY = 128;
constexpr int32_t kCursorNormal = 0;
constexpr int32_t kCursorUse = 4;
constexpr int kHoverSound = 0;
constexpr int kClickSound = 1;
constexpr int32_t kHandFrames = 4;

// The main page's cancel icon and the options page's OK icon, screen pixels.
constexpr int32_t kMainCancelX = 676;
constexpr int32_t kMainCancelY = 490;
constexpr int32_t kOptionsOkX = 715;
constexpr int32_t kOptionsOkY = 590;
// The confirmation's icons.
constexpr int32_t kConfirmNoX = 384;
constexpr int32_t kConfirmNoY = 356;
constexpr int32_t kConfirmYesX = 489;
constexpr int32_t kConfirmYesY = 369;
constexpr int32_t kIconSize = 64;

const float kMainRegions[5][10] = {
    {47, 146, 56, 176, 340, 152, 316, 125, 264, 147},
    {51, 213, 60, 244, 366, 218, 338, 190, 270, 215},
    {53, 180, 55, 214, 367, 180, 356, 146, 209, 182},
    {53, 247, 64, 279, 371, 251, 367, 216, 221, 254},
    {67, 311, 77, 347, 383, 322, 359, 287, 248, 324},
};

const float kOptionRegions[5][10] = {
    {265, 179, 257, 210, 442, 248, 448, 218, 196, 332},
    {257, 221, 249, 252, 432, 292, 438, 261, 196, 332},
    {251, 258, 244, 290, 427, 330, 432, 297, 196, 332},
    {256, 299, 237, 334, 418, 378, 424, 344, 196, 332},
    {207, 348, 204, 372, 367, 402, 369, 378, 196, 332},
};

// The sliders of items 1 to 4 (music, dialogue, effects, gamma): start and
// end point, menu-relative.
struct tSlider {
    tMenuPoint a;
    tMenuPoint b;
};
const tSlider kSliders[4] = {
    {{270, 194}, {438, 232}},
    {{262, 239}, {428, 276}},
    {{258, 273}, {424, 311}},
    {{249, 320}, {415, 357}},
};

// The hint of each slider item, as an index into the slider names ("music",
// "snd", "voc", "gamma" in that order): the dialogue slider is item 2.
const int kSliderHint[4] = {0, 2, 1, 3};

uint32_t* SliderValue(int32_t item)
{
    tTarvelConfig& config = gTarvel.mConfig;
    switch (item) {
    case 1:
        return &config.MusicVolume;
    case 2:
        return &config.DialogueVolume;
    case 3:
        return &config.SFXVolume;
    case 4:
        return &config.Gamma;
    default:
        return nullptr;
    }
}

cTarvelImage* LoadPicture(const char* name, bool twoSets = false)
{
    auto* image = new cTarvelImage(twoSets);
    image->ReadFile(name);
    image->mDepthOff = 1;
    return image;
}

// The pictures the menu draws in its mode 3 run as started sequences.
void Start(cTarvelImage* image)
{
    image->Play(kImageLoop, 0);
}

cTarvelImage* PictureAt(tArray<cTarvelImage*>& pictures, int32_t index)
{
    return index >= 0 && index < pictures.Count() ? pictures.data[index] : nullptr;
}

float SecondsSince(DWORD stamp)
{
    return SecondsBetween(stamp, gTarvel.mTimer.mGameTime, 1.0f);
}

void FreeSoundRecord(sSoundRecord* record, bool releaseSamples)
{
    if (!record)
        return;
    if (releaseSamples)
        gTarvel.mSound.ReleaseSamples(record);
    std::free(record->samples);
    std::free(record->block);
    delete record;
}

} // namespace

tMenuRegion tMenuRegion::FromFloats(const float (&values)[10])
{
    tMenuRegion region{};
    for (int i = 0; i < 4; ++i) {
        region.p[i].x = int32_t(values[2 * i]);
        region.p[i].y = int32_t(values[2 * i + 1]);
    }
    region.p[4] = region.p[0];
    region.m.x = int32_t(values[8]);
    region.m.y = int32_t(values[9]);
    return region;
}

cTarvelMenu::cTarvelMenu()
    : mOpen(false), mState(0), mHovered(-1), mLastHovered(-1), mClicked(-1), mOpenTime(0), mBackTop(nullptr),
      mBackBottom(nullptr), mOk(nullptr), mCancel(nullptr), mLeft(nullptr), mRight(nullptr), mHand(nullptr),
      mSel(nullptr), mPolaroid{}, mThumbnailEffect{}, mVericon{}, mVericonBW{}, mSelectedSlot(0),
      mDescriptionStart(0), mThumbnail(nullptr), mCaretOn(false), mCaretTime(0), mEnterPressed(false),
      mNameLine(nullptr)
{
}

cTarvelMenu::~cTarvelMenu()
{
    // The sound system and the fonts may be gone: only what the menu owns
    // itself is freed here.
    if (mThumbnail)
        mThumbnail->Release();
    for (cTarvelImage** image : {&mBackTop, &mBackBottom, &mOk, &mCancel, &mLeft, &mRight, &mHand, &mSel}) {
        delete *image;
        *image = nullptr;
    }
    mMainPictures.DeleteAll();
    mPagePictures.DeleteAll();
    for (sSoundRecord* record : mSounds)
        FreeSoundRecord(record, false);
    mSounds.Clear();
}

void cTarvelMenu::LoadTextures()
{
    // A second start-up replaces what the first loaded.
    for (cTarvelImage** image : {&mBackTop, &mBackBottom, &mOk, &mCancel, &mLeft, &mRight, &mHand, &mSel}) {
        delete *image;
        *image = nullptr;
    }
    for (sSoundRecord* record : mSounds)
        FreeSoundRecord(record, true);
    mSounds.Clear();

    mBackTop = LoadPicture("menu-bg-top");
    mBackTop->SetRect(0.0f, 0.0f, -1.0f, -1.0f);
    Start(mBackTop);
    mBackBottom = LoadPicture("menu-bg-btm");
    mBackBottom->SetRect(0.0f, float(mBackTop->mHeader.height) - 1.4f, -1.0f, -1.0f);
    Start(mBackBottom);
    mOk = LoadPicture("menu-ok");
    mCancel = LoadPicture("menu-cancel");
    mLeft = LoadPicture("menu-left");
    mRight = LoadPicture("menu-right");
    mHand = LoadPicture("menu_hand");
    mSel = LoadPicture("menu-sel");

    // A library without the menu's techniques leaves those draws out.
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("interface", "ui_polaroid", &mPolaroid, false);
    shaders.LoadShader("interface", "ui_thumbnail", &mThumbnailEffect, false);
    shaders.LoadShader("interface", "ui_vericon", &mVericon, false);
    shaders.LoadShader("interface", "ui_vericonbw", &mVericonBW, false);

    for (const char* name : {"generic_ui_mouse_over", "generic_ui_mouse_onclick"}) {
        auto* record = new sSoundRecord;
        std::snprintf(record->name, sizeof record->name, "%s", name);
        record->files = name;
        gTarvel.mSound.CreateSound(record);
        mSounds.Add(record);
    }
}

void cTarvelMenu::Release()
{
    Close();
    if (mThumbnail) {
        mThumbnail->Release();
        mThumbnail = nullptr;
    }
    for (cTarvelImage** image : {&mBackTop, &mBackBottom, &mOk, &mCancel, &mLeft, &mRight, &mHand, &mSel}) {
        delete *image;
        *image = nullptr;
    }
    mMainPictures.DeleteAll();
    mPagePictures.DeleteAll();
    for (sSoundRecord* record : mSounds)
        FreeSoundRecord(record, true);
    mSounds.Clear();
}

void cTarvelMenu::PlaySound(int index)
{
    if (index < mSounds.Count() && mSounds.data[index])
        gTarvel.mSound.PlayOnChannel(mSounds.data[index], 1.0f);
}

void cTarvelMenu::OpenMainPage()
{
    cTarvel& engine = gTarvel;
    const cTarvelGameplay& gameplay = engine.mGameplay;
    if ((engine.mMovie && !engine.mMovie->mInScene) || gScreenControls.Count() > 0 || engine.mSpeech.mState != 0 ||
        !(gameplay.mStateFlags & cTarvelGameplay::kInterfaceEnabled) || gameplay.mFadeState != 0)
        return;
    // Whatever an earlier opening left goes first.
    mMainPictures.DeleteAll();
    mPagePictures.DeleteAll();
    ClearSlotPage();

    mState = kMainPage;
    mOpenTime = engine.mTimer.mGameTime;
    mFade = 0.0f;
    mMainPictures.Add(LoadPicture("menu-mainc"));
    cTarvelImage* front = LoadPicture("menu-maina");
    front->SetRect(234.0f, 117.0f, -1.0f, -1.0f);
    Start(front);
    mMainPictures.Add(front);

    mMainRegions.Clear();
    for (const auto& values : kMainRegions)
        mMainRegions.Add(tMenuRegion::FromFloats(values));
    if (mSliderNames.Count() == 0)
        for (const char* key : {"opt_vol_music", "opt_vol_snd", "opt_vol_voc", "opt_gamma"})
            mSliderNames.Add(gameplay.GetText(key));

    engine.mGraphics.mCursorKind = kCursorNormal;
    mHovered = -1;
    mOpen = true;
    PlaySound(kClickSound);
    mLastHovered = -1;
}

void cTarvelMenu::Close()
{
    mMainPictures.DeleteAll();
    mPagePictures.DeleteAll();
    ClearSlotPage();
    mOpen = false;
}

void cTarvelMenu::ClearPageTexts()
{
    cTarvelFont& fonts = gTarvel.mFonts;
    for (const tDescriptionLine& line : mDescriptionLines) {
        fonts.DeleteText(line.shadow);
        fonts.DeleteText(line.text);
    }
    mDescriptionLines.Clear();
    fonts.DeleteText(mNameLine);
    mNameLine = nullptr;
}

void cTarvelMenu::ClearSlotPage()
{
    ClearPageTexts();
    mSlots.Clear();
    if (mThumbnail) {
        mThumbnail->Release();
        mThumbnail = nullptr;
    }
}

void cTarvelMenu::ClosePage()
{
    mLastHovered = 0;
    gTarvel.mHintText = "";
    if (mState > 100) {
        if (mPagePictures.Count() > 0) {
            delete mPagePictures.data[mPagePictures.Count() - 1];
            mPagePictures.RemoveAt(mPagePictures.Count() - 1);
        }
        mState = mState == kConfirmOverwrite ? kSavePage : kMainPage;
        return;
    }
    if (mState == kOptionsPage)
        WriteOptions();
    mPagePictures.DeleteAll();
    ClearSlotPage();
    mState = kMainPage;
}

void cTarvelMenu::WriteOptions()
{
    // A settings key that cannot be written keeps the old values: the game
    // goes on with the new ones until it ends.
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const tTarvelConfig& config = gTarvel.mConfig;
    const struct {
        const char* name;
        uint32_t value;
    } values[] = {
        {"MusicVolume", config.MusicVolume}, {"DialogueVolume", config.DialogueVolume},
        {"SFXVolume", config.SFXVolume},     {"Subtitle", config.Subtitle},
        {"Gamma", config.Gamma},
    };
    for (const auto& value : values) {
        const DWORD data = value.value;
        RegSetValueExA(key, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    RegCloseKey(key);
}

bool cTarvelMenu::MouseInRect(int32_t left, int32_t top, int32_t right, int32_t bottom) const
{
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return gameplay.mMouseX >= left && gameplay.mMouseX <= right && gameplay.mMouseY >= top &&
           gameplay.mMouseY <= bottom;
}

bool cTarvelMenu::IsMouseInRegion(const tMenuRegion& region) const
{
    const int32_t x = gTarvel.mGameplay.mMouseX - kMenuX;
    const int32_t y = gTarvel.mGameplay.mMouseY - kMenuY;
    bool inside = false;
    for (int i = 0; i < 4; ++i) {
        const tMenuPoint& a = region.p[i];
        const tMenuPoint& b = region.p[i + 1];
        if ((a.y <= y && y < b.y) || (b.y <= y && y < a.y)) {
            // The edge spans y, so b.y differs from a.y.
            const int32_t crossing = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
            if (x < crossing)
                inside = !inside;
        }
    }
    return inside;
}

int32_t cTarvelMenu::SliderValueFromMouse(int32_t item) const
{
    if (item < 1 || item > 4)
        return 0;
    const tSlider& slider = kSliders[item - 1];
    const float v = float(gTarvel.mGameplay.mMouseX - kMenuX - slider.a.x) * 255.0f / float(slider.b.x - slider.a.x);
    return std::clamp(int32_t(std::clamp(v, -1.0f, 256.0f)), 0, 255);
}

void cTarvelMenu::ApplySlider(int32_t item, uint32_t value)
{
    uint32_t* field = SliderValue(item);
    if (!field)
        return;
    *field = value;
    if (item == 4)
        gTarvel.mGraphics.ApplyGamma();
    else
        gTarvel.mSound.ApplyVolumes();
}

void cTarvelMenu::CommonInput(int32_t itemCount, bool hoverSoundForItem0)
{
    gTarvel.mGraphics.mCursorKind = mHovered >= 0 ? kCursorUse : kCursorNormal;
    if (mHovered != mLastHovered && mHovered >= 0 && mHovered < itemCount && (mHovered != 0 || hoverSoundForItem0))
        PlaySound(kHoverSound);
    mLastHovered = mHovered;
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    if (gameplay.TestButton(0, 1) || gameplay.TestButton(0, 2))
        mClicked = mHovered;
}

void cTarvelMenu::Update()
{
    mFade = std::min(1.0f, SecondsSince(mOpenTime));
    mHovered = -1;
    switch (mState) {
    case kMainPage:
        UpdateMainPage();
        break;
    case kOptionsPage:
        UpdateOptionsPage();
        break;
    case kLoadPage:
    case kSavePage:
        UpdateSlotPage();
        break;
    case kConfirmQuit:
    case kConfirmNewGame:
    case kConfirmOverwrite:
        UpdateConfirm();
        break;
    default:
        break;
    }
    mClicked = -1;
}

void cTarvelMenu::UpdateMainPage()
{
    if (MouseInRect(kMainCancelX, kMainCancelY, kMainCancelX + kIconSize, kMainCancelY + kIconSize))
        mHovered = 0;
    for (int32_t i = 0; i < mMainRegions.Count(); ++i)
        if (IsMouseInRegion(mMainRegions.data[i]))
            mHovered = i + 1;
    if (mHovered != mLastHovered && mHovered >= 0 && mHand)
        mHand->SetFrame(std::min(kHandFrames - 1, int32_t(float(crt::rand()) / 32767.0f * float(kHandFrames))));
    CommonInput(6, true);
    gTarvel.mGameplay.TestButton(1, 1);
    if (mClicked < 0)
        return;
    PlaySound(kClickSound);
    switch (mClicked) {
    case 0:
        Close();
        break;
    case 1:
        OpenConfirm(kConfirmNewGame);
        break;
    case 2:
        OpenSlotPage(kLoadPage);
        break;
    case 3:
        OpenSlotPage(kSavePage);
        break;
    case 4:
        OpenOptionsPage();
        break;
    case 5:
        OpenConfirm(kConfirmQuit);
        break;
    default:
        break;
    }
}

void cTarvelMenu::OpenOptionsPage()
{
    mState = kOptionsPage;
    mLastHovered = 0;
    cTarvelImage* back = LoadPicture("menu-opt");
    back->SetRect(298.0f, 143.0f, -1.0f, -1.0f);
    mPagePictures.Add(back);
    mPagePictures.Add(LoadPicture("menu-optc"));
    cTarvelImage* front = LoadPicture("menu-opta");
    front->SetRect(298.0f, 143.0f, -1.0f, -1.0f);
    Start(front);
    mPagePictures.Add(front);
    gTarvel.mGraphics.mCursorKind = kCursorNormal;
    mHovered = -1;
    mOptionRegions.Clear();
    for (const auto& values : kOptionRegions)
        mOptionRegions.Add(tMenuRegion::FromFloats(values));
}

void cTarvelMenu::UpdateOptionsPage()
{
    if (MouseInRect(kOptionsOkX, kOptionsOkY, kOptionsOkX + kIconSize, kOptionsOkY + kIconSize))
        mHovered = 0;
    for (int32_t i = 0; i < mOptionRegions.Count(); ++i)
        if (IsMouseInRegion(mOptionRegions.data[i]))
            mHovered = i + 1;

    cTarvel& engine = gTarvel;
    if (mHovered < 0)
        engine.mHintText = "";
    else if (mHovered != mLastHovered && mHovered >= 1 && mHovered <= 4 && mSliderNames.Count() == 4)
        engine.mHintText = mSliderNames[kSliderHint[mHovered - 1]];
    CommonInput(6, true);

    cTarvelGameplay& gameplay = engine.mGameplay;
    if (gameplay.TestButton(1, 1) || gameplay.TestButton(1, 2)) {
        static const uint32_t kDefaults[4] = {127, 127, 255, 127};
        if (mHovered >= 1 && mHovered <= 4)
            ApplySlider(mHovered, kDefaults[mHovered - 1]);
        mClicked = -1;
    }
    switch (mClicked) {
    case 0:
        PlaySound(kClickSound);
        ClosePage();
        break;
    case 1:
    case 2:
    case 3:
    case 4:
        ApplySlider(mClicked, uint32_t(SliderValueFromMouse(mClicked)));
        break;
    case 5:
        PlaySound(kHoverSound);
        engine.mConfig.Subtitle = engine.mConfig.Subtitle ? 0 : 1;
        break;
    default:
        break;
    }
}

void cTarvelMenu::OpenConfirm(int32_t kind)
{
    mLastHovered = 0;
    mState = kind;
    cTarvelImage* picture = LoadPicture("menu-confirm");
    picture->SetRect(215.0f, 228.0f, -1.0f, -1.0f);
    mPagePictures.Add(picture);
    gTarvel.mGraphics.mCursorKind = kCursorNormal;
    mHovered = -1;
}

void cTarvelMenu::UpdateConfirm()
{
    if (MouseInRect(kConfirmNoX, kConfirmNoY, kConfirmNoX + kIconSize, kConfirmNoY + kIconSize))
        mHovered = 0;
    if (MouseInRect(kConfirmYesX, kConfirmYesY, kConfirmYesX + kIconSize, kConfirmYesY + kIconSize))
        mHovered = 1;
    // No hover sound here.
    CommonInput(0, false);
    gTarvel.mGameplay.TestButton(1, 1);
    if (mClicked == 0) {
        PlaySound(kClickSound);
        ClosePage();
        return;
    }
    if (mClicked != 1)
        return;
    PlaySound(kClickSound);
    const int32_t kind = mState;
    ClosePage();
    Close();
    switch (kind) {
    case kConfirmQuit:
        gTarvel.mQuitRequest = 1;
        break;
    case kConfirmNewGame:
        gTarvel.mNewGameRequest = 1;
        break;
    case kConfirmOverwrite:
        RequestSave();
        break;
    default:
        break;
    }
}

void cTarvelMenu::DrawIcon(cTarvelImage* image, bool hovered, float brightness)
{
    if (!image)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    const cTarvelShaderBinding* binding = hovered ? &mVericon : &mVericonBW;
    shaders.Use(binding);
    shaders.SetFloat2(binding, "intens", hovered ? brightness : brightness / 1.5f, 0.0f);
    image->Draw(true, false);
}

void cTarvelMenu::Render()
{
    mFade = std::min(1.0f, SecondsSince(mOpenTime));
    for (cTarvelImage* back : {mBackTop, mBackBottom}) {
        if (!back)
            continue;
        const bool fading = mFade < 1.0f;
        back->mBlended = fading ? 1 : 0;
        back->SetAlpha(fading ? int32_t(mFade * 255.0f) : 255);
        back->Draw(true, true);
    }
    switch (mState) {
    case kMainPage:
        RenderMainPage();
        break;
    case kOptionsPage:
        RenderOptionsPage();
        break;
    case kLoadPage:
    case kSavePage:
        RenderSlotPage();
        break;
    case kConfirmQuit:
    case kConfirmNewGame:
    case kConfirmOverwrite:
        RenderConfirm();
        break;
    default:
        break;
    }
}

void cTarvelMenu::RenderMainPage()
{
    cTarvelImage* colour = PictureAt(mMainPictures, 0);
    cTarvelImage* front = PictureAt(mMainPictures, 1);
    if (front) {
        cTarvelShaderLib& shaders = gTarvel.mShaders;
        shaders.Use(&mPolaroid);
        shaders.SetTextureRaw(&mPolaroid, "tex2", colour ? colour->GetCurrentFrame() : nullptr);
        shaders.SetFloat2(&mPolaroid, "intens", mFade, 1.0f);
        front->Draw(true, false);
    }
    if (mState != kMainPage)
        return;
    if (mHovered >= 1 && mHovered <= mMainRegions.Count() && mHand) {
        const tMenuPoint& marker = mMainRegions.data[mHovered - 1].m;
        mHand->SetRect(float(marker.x + 224), float(marker.y + 96), -1.0f, -1.0f);
        mHand->Draw(false, true);
    }
    if (mCancel) {
        mCancel->SetRect(float(kMainCancelX), float(kMainCancelY), -1.0f, -1.0f);
        DrawIcon(mCancel, mHovered == 0, mFade);
    }
}

void cTarvelMenu::DrawSlider(int32_t item, uint32_t value)
{
    if (!mSel || item < 1 || item > 4)
        return;
    const tSlider& slider = kSliders[item - 1];
    const float t = float(value) / 255.0f;
    const float x = float(slider.a.x) + float(slider.b.x - slider.a.x) * t - 32.0f + float(kMenuX);
    const float y = float(slider.a.y) + float(slider.b.y - slider.a.y) * t - 32.0f + float(kMenuY);
    mSel->SetRect(x, y, -1.0f, -1.0f);
    mSel->Draw(false, true);
}

void cTarvelMenu::RenderOptionsPage()
{
    RenderMainPage();
    if (cTarvelImage* back = PictureAt(mPagePictures, 0))
        back->Draw(true, true);
    if (cTarvelImage* front = PictureAt(mPagePictures, 2)) {
        cTarvelImage* colour = PictureAt(mPagePictures, 1);
        cTarvelShaderLib& shaders = gTarvel.mShaders;
        shaders.Use(&mPolaroid);
        shaders.SetTextureRaw(&mPolaroid, "tex2", colour ? colour->GetCurrentFrame() : nullptr);
        shaders.SetFloat2(&mPolaroid, "intens", 1.0f, 1.0f);
        front->Draw(true, false);
    }
    const tTarvelConfig& config = gTarvel.mConfig;
    if (config.Subtitle != 0 && mSel) {
        mSel->SetRect(452.0f, 460.0f, -1.0f, -1.0f);
        mSel->Draw(false, true);
    }
    for (int32_t item = 1; item <= 4; ++item)
        DrawSlider(item, *SliderValue(item));
    if (mOk) {
        mOk->SetRect(float(kOptionsOkX), float(kOptionsOkY), -1.0f, -1.0f);
        DrawIcon(mOk, mHovered == 0, 1.0f);
    }
}

void cTarvelMenu::RenderConfirm()
{
    if (mState == kConfirmOverwrite)
        RenderSlotPage();
    else
        RenderMainPage();
    if (cTarvelImage* picture = PictureAt(mPagePictures, mPagePictures.Count() - 1))
        picture->Draw(true, true);
    if (mCancel) {
        mCancel->SetRect(float(kConfirmNoX), float(kConfirmNoY), -1.0f, -1.0f);
        DrawIcon(mCancel, mHovered == 0, 1.0f);
    }
    if (mOk) {
        mOk->SetRect(float(kConfirmYesX), float(kConfirmYesY), -1.0f, -1.0f);
        DrawIcon(mOk, mHovered == 1, 1.0f);
    }
}

void cTarvelMenu::StartNewGame()
{
    cTarvel& engine = gTarvel;
    engine.mNewGameRequest = 0;
    Close();

    engine.mInventory.Clear();
    engine.mPDA.Reset();
    engine.mLights.SetFlashlight(false);
    gActiveControls.DeleteAll();

    gSharedSymbols.Clear();
    if (engine.mScene) {
        // Left as a savegame load leaves it (no "on_leave"), so that the
        // player keeps no link into the deleted scene.
        engine.mScene->Leave(1);
        engine.mScene->Clear();
        delete engine.mScene;
        engine.mScene = nullptr;
    }
    engine.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kInventoryShown;

    engine.mSound.StopMusic(1.0f, 2);
    engine.mSound.StopSceneSounds();
    engine.mSound.ReleaseSounds();
    engine.mGameName = "";

    cTarvelGameplay::AddValue(cTarvelGameplay::SharedActor("PC", nullptr));
    cTarvelGameplay::AddValue(cTarvelGameplay::SharedActor("OFF", engine.mSpeech.mOffVoice));

    cTarvelScript* main = engine.mGameplay.mMainScript;
    if (!main)
        return;
    for (cTarvelScriptValue& global : main->mGlobals) {
        global.integer = 0;
        global.floatValue = 0.0f;
        global.boolean = 0;
        global.object = 0;
        global.string = "";
        global.bytes.clear();
    }
    main->CallFunction("Main::Start", nullptr);
}
