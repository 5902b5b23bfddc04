#include "engine/gameplay/menu.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/control.h"
#include "engine/render/font.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/sound/sound.h"
#include "engine/world/scene.h"
#include "platform/d3dx9/d3dx9_tex.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/crt.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"
#include "tools/font_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace fs = std::filesystem;
namespace pt = platform::testing;

namespace {

std::vector<std::string> gCalls;

void RecordCall(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

// A started engine whose archive adds the menu's two sounds, a name font
// ("font-hand", slot 4) of 6-pixel glyphs,
// and the interface texts the pages look up.
class MenuTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer);
        std::u16string codes;
        for (char16_t c = 32; c < 127; ++c)
            codes += c;
        writer.AddShared(1, "font-hand", 0, testkit::BuildGridFont(codes, 6), true);
        writer.AddShared(1, "font1", 0, testkit::BuildGridFont(codes, 9), true);
        const auto tone = pt::EncodeWav(pt::MakeTone(5.0, 8000, 1, 440), 8000, 1);
        writer.AddShared(1, "generic_ui_mouse_over", kResourceWav, tone, true);
        writer.AddShared(1, "generic_ui_mouse_onclick", kResourceWav, tone, true);
        const std::string effect = testkit::MinimalEffectSource(
            std::vector<std::string>{"ui_polaroid", "ui_thumbnail", "ui_vericonbw", "ui_vericon"});
        writer.AddShared(1, "interface.fx", kResourceOther, testkit::Bytes(effect.begin(), effect.end()), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        cTarvelScript::sCallObserver = RecordCall;
        gCalls.clear();

        for (const char* line :
             {"opt_vol_music Music", "opt_vol_snd Effects", "opt_vol_voc Voices", "opt_gamma Brightness",
              "save_allowed_keys abcdefghijklmnopqrstuvwxyzW ./\\:", "save_none No savegames", "save_new A new one",
              "save_name_ch1 start", "save_desc_ch1 First|chapter", "save_desc_ch2 Second"})
            Gameplay().mTextLines.Add(line);
        Gameplay().mStateFlags = cTarvelGameplay::kInterfaceEnabled;
        gTarvel.mGameState = "ch1";
        mFolder = RootDir() / "saves";
        fs::create_directories(mFolder);
        gTarvel.mSavegameFolder = cTarvelString(("Z:" + mFolder.string() + "/").c_str());
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        EngineTest::TearDown();
    }

    static cTarvelGameplay& Gameplay() { return gTarvel.mGameplay; }
    static cTarvelMenu& Menu() { return gTarvel.mMenu; }

    // One frame of the menu's input after the injected messages.
    static void Step()
    {
        gTarvel.PumpMessages();
        Menu().Update();
    }
    static void MoveTo(int x, int y)
    {
        pt::InjectMouseMove(x, y);
        Step();
    }
    static void ClickAt(int x, int y, pt::Button button = pt::Button::Left)
    {
        pt::InjectClick(button, x, y);
        Step();
    }
    static void Escape()
    {
        pt::InjectKey(VK_ESCAPE);
        Step();
    }
    static void Type(const std::string& text)
    {
        for (char c : text)
            pt::InjectChar(WPARAM(uint8_t(c)));
        Step();
    }
    // A whole pass of the main loop, with a frame due.
    static void Pass()
    {
        pt::AdvanceClock(20);
        gTarvel.RunPass();
    }

    // Channels started for the menu's sound (0 hover, 1 click) so far; the
    // tones outlast every test.
    static int Played(int index)
    {
        const FMOD::Sound* sound = Menu().mSounds[index]->sound;
        int n = 0;
        for (const pt::FmodChannelState& channel : pt::FmodChannels())
            n += channel.sound == sound;
        return n;
    }

    static DWORD RegistryValue(const char* name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key) != ERROR_SUCCESS)
            return 0xFFFFFFFFu;
        DWORD value = 0xFFFFFFFFu, type = 0, size = sizeof value;
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return value;
    }

    static std::string Typed()
    {
        std::string out;
        for (const WCHAR* c = Menu().mTypedName.c_str(); *c; ++c)
            out += char(*c);
        return out;
    }

    // A savegame file: a header with the time of saving and the state
    // string, then a few bytes of stream.
    void WriteSavegame(const std::string& name, int year, int month, const char* state, bool valid = true) const
    {
        std::vector<uint8_t> bytes(cTarvelSavegame::kHeaderSize + 8, 0);
        std::memcpy(bytes.data(), valid ? "sava" : "xxxx", 4);
        const uint16_t time[8] = {uint16_t(year), uint16_t(month), 0, 12, 10, 30, 0, 0};
        for (int i = 0; i < 8; ++i) {
            bytes[4 + 2 * i] = uint8_t(time[i]);
            bytes[5 + 2 * i] = uint8_t(time[i] >> 8);
        }
        std::strncpy(reinterpret_cast<char*>(bytes.data() + 148), state, 15);
        std::ofstream(mFolder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            std::streamsize(bytes.size()));
    }

    // Where an image's quad starts, in layout pixels (the scale is 1).
    static std::pair<int, int> TopLeft(cTarvelImage* image)
    {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        float xy[2] = {};
        std::memcpy(xy, static_cast<uint8_t*>(data) + image->VertexStride(), sizeof xy);
        image->mVertexBuffer->Unlock();
        const cTarvelGraphics& graphics = gTarvel.mGraphics;
        return {int(std::lround(xy[0] - graphics.mTexelOffsetX)), int(std::lround(xy[1] - graphics.mTexelOffsetY))};
    }

    std::vector<std::string> SlotNames() const
    {
        std::vector<std::string> out;
        for (const tSaveSlot& slot : Menu().mSlots)
            out.push_back(slot.name);
        return out;
    }

    fs::path mFolder;
};

// Main-page points (screen pixels) and the item they hit: the centres of
// the five regions, the three overlaps (the higher item wins, worked out
// with exact crossings) and the inclusive corners of the cancel icon.
TEST_F(MenuTest, MainPageRegionsOverlapAndTheHigherItemWins)
{
    Menu().OpenMainPage();
    ASSERT_TRUE(Menu().mOpen);
    EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage);
    struct Case {
        int x, y, item;
    };
    const Case cases[] = {
        {445, 277, 1}, {459, 344, 2}, {463, 308, 3}, {469, 376, 4}, {477, 444, 5},
        {330 + 256, 149 + 128, 3}, {89 + 256, 210 + 128, 3}, {357 + 256, 217 + 128, 4},
        {676, 490, 0}, {740, 554, 0}, {741, 554, -1}, {676, 489, -1}, {100, 100, -1},
    };
    for (const Case& c : cases) {
        MoveTo(c.x, c.y);
        EXPECT_EQ(Menu().mHovered, c.item) << c.x << "," << c.y;
        EXPECT_EQ(gTarvel.mGraphics.mCursorKind, c.item >= 0 ? 4 : 0) << c.x << "," << c.y;
    }
}

TEST_F(MenuTest, MainPageHoverPlaysOnceAndTheHandTakesAFrameOfTheRuntimeGenerator)
{
    Menu().OpenMainPage();
    EXPECT_EQ(Played(1), 1) << "opening clicks";
    crt::srand(1);   // 41, 18467, 6334: frames 0, 2, 0
    MoveTo(445, 277);
    EXPECT_EQ(Menu().mHand->mCurrentFrame, 0);
    EXPECT_EQ(Played(0), 1);
    MoveTo(446, 277);   // the same item: no sound, no new frame
    EXPECT_EQ(Played(0), 1);
    MoveTo(459, 344);
    EXPECT_EQ(Menu().mHand->mCurrentFrame, 2);
    EXPECT_EQ(Played(0), 2);
    MoveTo(100, 100);
    EXPECT_EQ(Played(0), 2);
    MoveTo(445, 277);
    EXPECT_EQ(Menu().mHand->mCurrentFrame, 0);
    EXPECT_EQ(Played(0), 3);
}

TEST_F(MenuTest, MenuOpensOnlyWhenTheGameLetsIt)
{
    struct Case {
        const char* what;
        void (*set)();
        void (*undo)();
    };
    const Case cases[] = {
        {"input closed", [] { Gameplay().mStateFlags = 0; }, [] { Gameplay().mStateFlags = 1; }},
        {"speech", [] { gTarvel.mSpeech.mState = 1; }, [] { gTarvel.mSpeech.mState = 0; }},
        {"fade", [] { Gameplay().mFadeState = 3; }, [] { Gameplay().mFadeState = 0; }},
    };
    for (const Case& c : cases) {
        c.set();
        Menu().OpenMainPage();
        EXPECT_FALSE(Menu().mOpen) << c.what;
        c.undo();
    }
    Menu().OpenMainPage();
    EXPECT_TRUE(Menu().mOpen);
    // Escape on the main page closes it; the next opens it again.
    Escape();
    EXPECT_FALSE(Menu().mOpen);
    Escape();
    EXPECT_TRUE(Menu().mOpen);
    // So does the cancel icon.
    ClickAt(700, 500);
    EXPECT_FALSE(Menu().mOpen);
    EXPECT_EQ(Menu().mMainPictures.Count(), 0);
}

TEST_F(MenuTest, TheBackgroundFadesInOverOneSecond)
{
    Menu().OpenMainPage();
    auto alpha = [](cTarvelImage* image) {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        uint32_t colour = 0;
        std::memcpy(&colour, static_cast<uint8_t*>(data) + 16, 4);
        image->mVertexBuffer->Unlock();
        return colour >> 24;
    };
    gTarvel.mTimer.mGameTime += 500;
    Step();
    EXPECT_FLOAT_EQ(Menu().mFade, 0.5f);
    Menu().Render();
    EXPECT_EQ(alpha(Menu().mBackTop), 127u);
    EXPECT_EQ(Menu().mBackBottom->mBlended, 1);
    gTarvel.mTimer.mGameTime += 700;
    Step();
    EXPECT_FLOAT_EQ(Menu().mFade, 1.0f);
    Menu().Render();
    EXPECT_EQ(alpha(Menu().mBackTop), 255u);
    EXPECT_EQ(Menu().mBackBottom->mBlended, 0);
}

TEST_F(MenuTest, SlidersAreSetPerClickResetByTheRightButtonAndAppliedAtOnce)
{
    Menu().OpenMainPage();
    ClickAt(469, 376);   // options
    ASSERT_EQ(Menu().mState, cTarvelMenu::kOptionsPage);
    tTarvelConfig& config = gTarvel.mConfig;
    struct Case {
        int x, y;
        uint32_t* field;
        uint32_t value;
    };
    const Case cases[] = {
        {526, 322, &config.MusicVolume, 0},     {610, 341, &config.MusicVolume, 127},
        {694, 360, &config.MusicVolume, 255},   {518, 367, &config.DialogueVolume, 0},
        {601, 386, &config.DialogueVolume, 127}, {680, 439, &config.SFXVolume, 255},
        {505, 448, &config.Gamma, 0},           {671, 485, &config.Gamma, 255},
    };
    for (const Case& c : cases) {
        ClickAt(c.x, c.y);
        EXPECT_EQ(*c.field, c.value) << c.x << "," << c.y;
    }
    // Gamma reaches the display at once: 255 maps the top of the ramp to
    // 255 (factor 1.5, clamped), 0 to 127 (factor 0.5).
    D3DGAMMARAMP ramp{};
    gTarvel.mGraphics.mDevice->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.red[255], 255 << 8);
    ClickAt(505, 448);
    gTarvel.mGraphics.mDevice->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.red[255], 127 << 8);

    // The right button resets the slider under the mouse; dialogue goes to
    // 127, not to its first-start 215.
    config.MusicVolume = config.DialogueVolume = config.SFXVolume = 3;
    const Case resets[] = {
        {601, 386, &config.DialogueVolume, 127}, {610, 341, &config.MusicVolume, 127},
        {597, 420, &config.SFXVolume, 255},      {588, 466, &config.Gamma, 127},
    };
    for (const Case& c : resets) {
        ClickAt(c.x, c.y, pt::Button::Right);
        EXPECT_EQ(*c.field, c.value) << c.x << "," << c.y;
    }
    gTarvel.mGraphics.mDevice->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.red[255], 254 << 8);
    // Nothing was written while the page is open.
    EXPECT_EQ(RegistryValue("MusicVolume"), 0xFFFFFFFFu);
}

TEST_F(MenuTest, OptionHintsAndTheSubtitleSwitch)
{
    Menu().OpenMainPage();
    ClickAt(469, 376);
    const int clicks = Played(1);
    const struct {
        int x, y;
        const char* hint;
    } hints[] = {{609, 341, "Music"}, {600, 384, "Voices"}, {594, 421, "Effects"}, {589, 466, "Brightness"}};
    for (const auto& h : hints) {
        MoveTo(h.x, h.y);
        EXPECT_STREQ(gTarvel.mHintText.c_str(), h.hint);
    }
    MoveTo(100, 100);
    EXPECT_STREQ(gTarvel.mHintText.c_str(), "");

    // The switch toggles with the hover sound, not the click.
    MoveTo(542, 503);
    const int hovers = Played(0);
    ClickAt(542, 503);
    EXPECT_EQ(gTarvel.mConfig.Subtitle, 1u);
    EXPECT_EQ(Played(0), hovers + 1);
    ClickAt(542, 503);
    EXPECT_EQ(gTarvel.mConfig.Subtitle, 0u);
    EXPECT_EQ(Played(1), clicks);
}

// Leaving the options page by Escape or by its OK icon writes the same five
// values; a key that cannot be written changes nothing else.
TEST_F(MenuTest, LeavingTheOptionsWritesTheRegistryByEscapeAndByTheIcon)
{
    for (int way = 0; way < 2; ++way) {
        Menu().OpenMainPage();
        ClickAt(469, 376);
        gTarvel.mConfig.MusicVolume = 10 + way;
        gTarvel.mConfig.DialogueVolume = 20;
        gTarvel.mConfig.SFXVolume = 30;
        gTarvel.mConfig.Gamma = 40;
        ClickAt(542, 503);   // subtitles on
        if (way == 0)
            Escape();
        else
            ClickAt(779, 654);
        EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage) << way;
        EXPECT_EQ(RegistryValue("MusicVolume"), DWORD(10 + way));
        EXPECT_EQ(RegistryValue("DialogueVolume"), 20u);
        EXPECT_EQ(RegistryValue("SFXVolume"), 30u);
        EXPECT_EQ(RegistryValue("Subtitle"), 1u);
        EXPECT_EQ(RegistryValue("Gamma"), 40u);
        EXPECT_EQ(RegistryValue("ScreenRes"), 0xFFFFFFFFu) << "only the menu's values";
        gTarvel.mConfig.Subtitle = 0;
        Escape();
    }
    pt::FailRegistryWrites(true);
    Menu().OpenMainPage();
    ClickAt(469, 376);
    gTarvel.mConfig.Gamma = 99;
    Escape();
    pt::FailRegistryWrites(false);
    EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage);
    EXPECT_EQ(RegistryValue("Gamma"), 40u);
}

TEST_F(MenuTest, ConfirmationsAskBeforeQuittingAndStartingAgain)
{
    Menu().OpenMainPage();
    // Quit: "no" returns to the main page and takes only its own picture.
    ClickAt(477, 444);
    ASSERT_EQ(Menu().mState, cTarvelMenu::kConfirmQuit);
    EXPECT_EQ(Menu().mPagePictures.Count(), 1);
    const int hovers = Played(0);
    MoveTo(400, 380);
    MoveTo(500, 400);
    EXPECT_EQ(Played(0), hovers) << "no hover sound on a confirmation";
    ClickAt(400, 380);
    EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage);
    EXPECT_EQ(Menu().mPagePictures.Count(), 0);
    EXPECT_EQ(gTarvel.mQuitRequest, 0);
    // Escape is "no" too.
    ClickAt(477, 444);
    Escape();
    EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage);
    EXPECT_TRUE(Menu().mOpen);

    ClickAt(477, 444);
    ClickAt(553, 433);
    EXPECT_EQ(gTarvel.mQuitRequest, 1);
    EXPECT_FALSE(Menu().mOpen);
    gTarvel.mQuitRequest = 0;

    Menu().OpenMainPage();
    ClickAt(445, 277);
    ASSERT_EQ(Menu().mState, cTarvelMenu::kConfirmNewGame);
    ClickAt(489, 369);
    EXPECT_EQ(gTarvel.mNewGameRequest, 1);
    EXPECT_FALSE(Menu().mOpen);
    EXPECT_EQ(gTarvel.mQuitRequest, 0);
}

// A control that counts its deletions.
struct CountedControl : cTarvelControl {
    explicit CountedControl(int* deleted) : deleted(deleted) {}
    ~CountedControl() override { ++*deleted; }
    int* deleted;
};

TEST_F(MenuTest, ANewGameStartsWithPCAndOFFAndTheMainGlobalsReset)
{
    auto* main = new cTarvelScript("Main");
    const std::vector<uint8_t> image = AssembleScriptOrThrow(
        "global count int\nglobal speed float\nglobal title string\nglobal seen bool\n"
        "function Main::Start\nret\n");
    ASSERT_EQ(main->LoadImage(image.data(), image.size(), "Main"), 0);
    delete Gameplay().mMainScript;
    Gameplay().mMainScript = main;
    main->mGlobals[0].integer = 7;
    main->mGlobals[1].floatValue = 2.5f;
    main->mGlobals[2].string = "old";
    main->mGlobals[3].boolean = 1;

    cTarvelScriptValue extra;
    extra.name = "door::Open";
    cTarvelGameplay::AddValue(extra);
    int deleted = 0;
    gActiveControls.Add(new CountedControl(&deleted));
    gTarvel.mScene = new cTarvelScene();
    gTarvel.mGameName = "old game";
    Gameplay().mStateFlags = 0x801;

    // What "Main::Start" finds when it runs.
    static std::vector<std::string> seen;
    seen.clear();
    cTarvelScript::sCallObserver = [](cTarvelScript* machine, const char* name) {
        if (std::string(name) != "Main::Start")
            return;
        for (const cTarvelScriptValue& value : gSharedSymbols)
            seen.push_back(value.name.c_str() + std::string(value.object ? "+" : "-"));
        const auto& g = machine->mGlobals;
        seen.push_back(std::to_string(g[0].integer) + "/" + std::to_string(g[1].floatValue) + "/" + g[2].string.c_str() +
                       "/" + std::to_string(g[3].boolean));
    };

    Menu().OpenMainPage();
    ClickAt(445, 277);
    ClickAt(489, 369);
    Pass();
    EXPECT_EQ(seen, (std::vector<std::string>{"PC-", "OFF+", "0/0.000000//0"}));
    EXPECT_EQ(gTarvel.mNewGameRequest, 0);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(gActiveControls.Count(), 0);
    EXPECT_EQ(gTarvel.mScene, nullptr);
    EXPECT_STREQ(gTarvel.mGameName.c_str(), "");
    EXPECT_EQ(Gameplay().mStateFlags, 5u);
    ASSERT_EQ(gSharedSymbols.Count(), 2);
    EXPECT_STREQ(gSharedSymbols[0].className.c_str(), "cActor");
    EXPECT_EQ(gSharedSymbols[1].kind, uint32_t(kScriptResultObject));
    EXPECT_EQ(gSharedSymbols[1].scope, 2);
}

// The load page lists every savegame newest first (a damaged header as the
// oldest, a file that cannot be opened not at all); the save page puts the
// new savegame first whatever the others' times.
TEST_F(MenuTest, SlotListsAreSortedNewestFirstWithTheNewSavegameFirst)
{
    WriteSavegame("older.demogame", 2020, 5, "ch1");
    WriteSavegame("newer.DEMOGAME", 2023, 1, "ch2");
    WriteSavegame("future.demogame", 30827, 12, "ch2");
    WriteSavegame("damaged.demogame", 2024, 1, "ch2", false);
    WriteSavegame("notadate.demogame", 2024, 13, "ch2");
    fs::create_symlink(mFolder / "gone", mFolder / "gone.demogame");
    fs::create_directory(mFolder / "folder.demogame");
    std::ofstream(mFolder / "other.txt") << "x";

    Menu().OpenMainPage();
    ClickAt(459, 344);   // load
    ASSERT_EQ(Menu().mState, cTarvelMenu::kLoadPage);
    const std::vector<std::string> loadOrder = SlotNames();
    ASSERT_EQ(loadOrder.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(loadOrder.begin(), loadOrder.begin() + 3),
              (std::vector<std::string>{"future", "newer", "older"}));
    // Both files without a usable time come last, in either order.
    EXPECT_EQ(Menu().mSlots[3].saveFileTime, 0u);
    EXPECT_EQ(Menu().mSlots[4].saveFileTime, 0u);
    EXPECT_STREQ(Menu().mSlots[1].descriptionKey, "ch2");
    EXPECT_STREQ(Menu().mSlots[1].fileName, "newer.DEMOGAME");
    const tSaveSlot& damaged = Menu().mSlots[std::string(Menu().mSlots[3].name) == "damaged" ? 3 : 4];
    EXPECT_STREQ(damaged.descriptionKey, "");
    Escape();

    ClickAt(463, 308);   // save
    ASSERT_EQ(Menu().mState, cTarvelMenu::kSavePage);
    const std::vector<std::string> saveOrder = SlotNames();
    ASSERT_EQ(saveOrder.size(), 6u);
    EXPECT_EQ(saveOrder[0], "");
    EXPECT_EQ(Menu().mSlots[0].saveFileTime, ~uint64_t{0});
    EXPECT_EQ(saveOrder[1], "future");
}

TEST_F(MenuTest, SlotPagesStepThroughTheListWithDescriptionsAndNames)
{
    WriteSavegame("older.demogame", 2020, 5, "ch1");
    WriteSavegame("newer.demogame", 2023, 1, "ch2");
    Menu().OpenMainPage();
    ClickAt(459, 344);
    ASSERT_EQ(Menu().mSlots.Count(), 2);
    EXPECT_EQ(Menu().mSelectedSlot, 0);
    ASSERT_EQ(Menu().mDescriptionLines.Count(), 1);
    // Previous is not offered on the first slot, next not on the last.
    MoveTo(350, 550);
    EXPECT_EQ(Menu().mHovered, -1);
    const int hovers = Played(0);
    MoveTo(620, 550);
    EXPECT_EQ(Menu().mHovered, 3);
    EXPECT_EQ(Played(0), hovers + 1);
    ClickAt(620, 550);
    EXPECT_EQ(Menu().mSelectedSlot, 1);
    // "First|chapter": two lines, the last at y 510.
    ASSERT_EQ(Menu().mDescriptionLines.Count(), 2);
    EXPECT_EQ(Menu().mDescriptionLines[0].text->mY, 495);
    EXPECT_EQ(Menu().mDescriptionLines[1].text->mY, 510);
    EXPECT_EQ(Menu().mDescriptionLines[1].shadow->mY, 511);
    EXPECT_EQ(Menu().mDescriptionLines[1].text->mX, 345);
    EXPECT_EQ(Menu().mDescriptionLines[1].shadow->mX, 346);
    // The load page names the slot centred on 500 (5 glyphs of 6 pixels).
    ASSERT_NE(Menu().mNameLine, nullptr);
    EXPECT_EQ(Menu().mNameLine->mX, 500 - 15);
    EXPECT_EQ(Menu().mNameLine->mY, 570);
    EXPECT_EQ(Menu().mNameLine->mCharCount, 5);
    MoveTo(620, 550);
    EXPECT_EQ(Menu().mHovered, -1);
    // The cancel icon plays no hover sound.
    const int before = Played(0);
    MoveTo(700, 470);
    EXPECT_EQ(Menu().mHovered, 0);
    EXPECT_EQ(Played(0), before);
}

TEST_F(MenuTest, TheDescriptionIsTypedOutLetterByLetter)
{
    WriteSavegame("older.demogame", 2020, 5, "ch1");
    Menu().OpenMainPage();
    ClickAt(459, 344);
    ASSERT_EQ(Menu().mDescriptionLines.Count(), 2);   // "First", "chapter"
    const tDescriptionLine& first = Menu().mDescriptionLines[0];
    const tDescriptionLine& second = Menu().mDescriptionLines[1];
    EXPECT_EQ(first.count, 5);
    EXPECT_EQ(second.count, 7);
    // T = floor(seconds * 30); line k shows min(count, max(0, T - 5 (n - k))).
    const struct {
        uint32_t ms;
        int first, second;
    } steps[] = {{0, 0, 0}, {200, 0, 1}, {400, 2, 7}, {1000, 5, 7}};
    uint32_t elapsed = 0;
    for (const auto& s : steps) {
        gTarvel.mTimer.mGameTime += s.ms - elapsed;
        elapsed = s.ms;
        Menu().Render();
        EXPECT_EQ(first.text->mVisibleCount, s.first) << s.ms;
        EXPECT_EQ(first.shadow->mVisibleCount, s.first) << s.ms;
        EXPECT_EQ(second.text->mVisibleCount, s.second) << s.ms;
    }
}

TEST_F(MenuTest, TypedNamesKeepToTheAllowedKeysAndTheirLimits)
{
    Menu().OpenMainPage();
    ClickAt(463, 308);
    ASSERT_EQ(Menu().mState, cTarvelMenu::kSavePage);
    EXPECT_EQ(Typed(), "start");
    // Backspace, then keys outside the allowed set, separators (allowed or
    // not) and a leading "." are left out.
    Type(std::string(6, '\b'));
    EXPECT_EQ(Typed(), "");
    Type(".a/b\\c:dE1");
    EXPECT_EQ(Typed(), "abcd");
    Type(".e");
    EXPECT_EQ(Typed(), "abcd.e");

    // 6-pixel glyphs: 31 letters and the caret are 192 wide, so the count
    // stops the name; a 32nd would still have fitted (198).
    Type(std::string(6, '\b'));
    Type(std::string(40, 'a'));
    EXPECT_EQ(Menu().mTypedName.Length(), cTarvelMenu::kNameLimit);

    // A "W" 100 pixels wide: "W" and 15 letters with the caret are 196, a
    // 16th would make 202.
    auto* wide = const_cast<sGlyph*>(gTarvel.mFonts.FindGlyph(4, u'W'));
    ASSERT_NE(wide, nullptr);
    wide->advance = 100;
    Type(std::string(31, '\b'));
    Type("W" + std::string(20, 'a'));
    EXPECT_EQ(Typed(), "W" + std::string(15, 'a'));
    // The name line is centred on 500 by the name alone.
    ASSERT_NE(Menu().mNameLine, nullptr);
    EXPECT_EQ(Menu().mNameLine->mX, 500 - (100 + 15 * 6) / 2);
}

// A picture file of w x h in the savegame folder, top-left texel colour.
void WritePng(const fs::path& path, UINT w, UINT h, D3DCOLOR colour)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(gTarvel.mGraphics.mDevice, w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * UINT(locked.Pitch) + 4 * x, &colour, 4);
    texture->UnlockRect(0);
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(0, &surface);
    EXPECT_EQ(D3DXSaveSurfaceToFileA(("Z:" + path.string()).c_str(), D3DXIFF_PNG, surface, nullptr, nullptr), D3D_OK);
    surface->Release();
    texture->Release();
}

TEST_F(MenuTest, ThumbnailsComeFromThePicturesBesideTheSavegames)
{
    WriteSavegame("pictured.demogame", 2023, 1, "ch1");
    WriteSavegame("damaged.demogame", 2022, 1, "ch1");
    WriteSavegame("bare.demogame", 2021, 1, "ch1");
    WritePng(mFolder / "pictured.png", 48, 20, 0xFF336699u);
    std::ofstream(mFolder / "damaged.png") << "\x89PNG not really";
    Menu().OpenMainPage();
    ClickAt(459, 344);
    ASSERT_EQ(SlotNames(), (std::vector<std::string>{"pictured", "damaged", "bare"}));
    ASSERT_NE(Menu().mThumbnail, nullptr);
    // The picture sits unscaled at the top left of a power-of-two texture.
    D3DSURFACE_DESC desc{};
    Menu().mThumbnail->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 32u);
    EXPECT_EQ(Menu().mThumbnail->GetLevelCount(), 1u);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(Menu().mThumbnail->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint32_t texel = 0;
    std::memcpy(&texel, static_cast<const uint8_t*>(locked.pBits) + 19 * locked.Pitch + 47 * 4, 4);
    Menu().mThumbnail->UnlockRect(0);
    EXPECT_EQ(texel & 0xFFFFFFu, 0x336699u);
    Pass();   // the page draws with its thumbnail

    ClickAt(620, 550);
    EXPECT_EQ(Menu().mThumbnail, nullptr) << "a damaged picture shows none";
    ClickAt(620, 550);
    EXPECT_EQ(Menu().mThumbnail, nullptr) << "nor does a missing one";
    Pass();
    ClickAt(720, 480);   // cancel
    EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage);
    EXPECT_EQ(Menu().mSlots.Count(), 0);
}

TEST_F(MenuTest, EmptyLoadPageSaysSoAndOffersNoOk)
{
    Menu().OpenMainPage();
    ClickAt(459, 344);
    EXPECT_EQ(Menu().mSlots.Count(), 0);
    ASSERT_EQ(Menu().mDescriptionLines.Count(), 1);
    EXPECT_EQ(Menu().mDescriptionLines[0].count, 12);   // "No savegames"
    MoveTo(720, 560);
    EXPECT_EQ(Menu().mHovered, -1);
    ClickAt(720, 560);
    EXPECT_EQ(gTarvel.mLoadRequest, 0);
    EXPECT_EQ(Menu().mState, cTarvelMenu::kLoadPage);
}

// The slots hold headers alone: OK refuses them on the page with the
// loader's reason (a loadable file becomes the main loop's request, see the
// savegame file tests).
TEST_F(MenuTest, LoadingADamagedSavegameIsRefusedOnThePage)
{
    WriteSavegame("older.demogame", 2020, 5, "ch1");
    WriteSavegame("newer.demogame", 2023, 1, "ch2");
    Menu().OpenMainPage();
    ClickAt(459, 344);
    ClickAt(620, 550);   // next: "older"
    ClickAt(720, 560);   // OK
    EXPECT_TRUE(Menu().mOpen);
    EXPECT_EQ(Menu().mState, cTarvelMenu::kLoadPage);
    EXPECT_EQ(Menu().mSelectedSlot, 1);
    EXPECT_EQ(gTarvel.mLoadRequest, 0);
    ASSERT_EQ(Menu().mDescriptionLines.Count(), 2);
    EXPECT_EQ(Menu().mDescriptionLines[0].count, int32_t(std::strlen("Error while processing savegame file:")));
    EXPECT_EQ(Menu().mDescriptionLines[1].count, int32_t(std::strlen("Savegame file cannot be loaded.")));
    Pass();
    EXPECT_TRUE(Menu().mOpen);
    ClickAt(720, 480);   // cancel
    EXPECT_EQ(Menu().mState, cTarvelMenu::kMainPage);
}

// Saving under a new name asks the main loop for the savegame and its
// picture; under an existing name it asks first, and "no" keeps the typed
// name. The old file stays until the writer replaces it.
TEST_F(MenuTest, SavingAsksBeforeOverwritingAndTheMainLoopServesIt)
{
    WriteSavegame("kept.demogame", 2020, 5, "ch1");
    const auto size = fs::file_size(mFolder / "kept.demogame");
    Menu().OpenMainPage();
    ClickAt(463, 308);
    Type(std::string(5, '\b') + "kept");
    ClickAt(720, 560);
    ASSERT_EQ(Menu().mState, cTarvelMenu::kConfirmOverwrite);
    EXPECT_FALSE(Menu().mCaretOn);
    Pass();   // the save page draws under the question
    ClickAt(400, 380);   // no
    EXPECT_EQ(Menu().mState, cTarvelMenu::kSavePage);
    EXPECT_EQ(Typed(), "kept");
    // The question moved the icons; the save page draws them at its own
    // places again.
    Menu().Render();
    EXPECT_EQ(TopLeft(Menu().mOk), (std::pair<int, int>{695, 529}));
    EXPECT_EQ(TopLeft(Menu().mCancel), (std::pair<int, int>{695, 458}));
    EXPECT_EQ(gTarvel.mSaveRequest, 0);
    EXPECT_EQ(Menu().mPagePictures.Count(), 3);

    // Return is the OK icon.
    Type("\r");
    ASSERT_EQ(Menu().mState, cTarvelMenu::kConfirmOverwrite);
    // "Yes" in a frame of the main loop: the picture is taken after that
    // frame, with the menu closed, and the game saved at the next pass.
    pt::InjectClick(pt::Button::Left, 500, 400);
    Pass();
    EXPECT_FALSE(Menu().mOpen);
    EXPECT_EQ(gTarvel.mThumbnailRequest, 0);
    EXPECT_EQ(gTarvel.mSaveRequest, 1);
    const std::string folder = "Z:" + mFolder.string() + "/";
    EXPECT_EQ(std::string(gTarvel.mSavegamePath.c_str()), folder + "kept.demogame");
    EXPECT_EQ(std::string(gTarvel.mThumbnailPath.c_str()), folder + "kept.png");
    EXPECT_EQ(fs::file_size(mFolder / "kept.demogame"), size);
    Pass();
    EXPECT_EQ(gTarvel.mSaveRequest, 0);

    // A new name saves without asking; an empty one does nothing.
    Menu().OpenMainPage();
    ClickAt(463, 308);
    Type(std::string(5, '\b'));
    ClickAt(720, 560);
    EXPECT_EQ(Menu().mState, cTarvelMenu::kSavePage);
    Type("fresh");
    ClickAt(720, 560);
    EXPECT_FALSE(Menu().mOpen);
    EXPECT_EQ(std::string(gTarvel.mSavegamePath.c_str()), folder + "fresh.demogame");
    EXPECT_EQ(gTarvel.mSaveRequest, 1);
}

// Names that reach the save page without being typed (the game's own
// "save_name_" texts, the names of files already in the folder) are checked
// before they become a path: a separator, a drive colon or a leading "."
// saves nothing.
TEST_F(MenuTest, UntypedNamesAreCheckedBeforeSaving)
{
    const struct {
        const char* state;
        const char* name;
    } given[] = {{"s1", "..\\up"}, {"s2", "a/b"}, {"s3", "c:d"}, {"s4", ".hidden"}, {"s5", "e\\f"}};
    for (const auto& g : given)
        Gameplay().mTextLines.Add((std::string("save_name_") + g.state + " " + g.name).c_str());
    auto pressOk = [] {
        ClickAt(720, 560);
        EXPECT_TRUE(Menu().mOpen);
        EXPECT_EQ(Menu().mState, cTarvelMenu::kSavePage);
        EXPECT_EQ(gTarvel.mSaveRequest, 0);
        EXPECT_EQ(gTarvel.mThumbnailRequest, 0);
    };
    for (const auto& g : given) {
        SCOPED_TRACE(g.name);
        gTarvel.mGameState = g.state;
        Menu().OpenMainPage();
        ClickAt(463, 308);
        ASSERT_EQ(Menu().mState, cTarvelMenu::kSavePage);
        ASSERT_EQ(Typed(), g.name);
        pressOk();
        Menu().Close();
    }
    gTarvel.mGameState = "ch1";
    // A "\\" or "/" cannot stand in a file name the page can open.
    for (const char* file : {"x:y.demogame"}) {
        SCOPED_TRACE(file);
        WriteSavegame(file, 2020, 1, "ch1");
        Menu().OpenMainPage();
        ClickAt(463, 308);
        ClickAt(620, 550);   // next: the file's slot
        ASSERT_EQ(Typed(), std::string(file).substr(0, std::string(file).find('.')));
        pressOk();
        Menu().Close();
        fs::remove(mFolder / file);
    }
    EXPECT_TRUE(fs::is_empty(mFolder));
    // A good name still saves.
    Menu().OpenMainPage();
    ClickAt(463, 308);
    ClickAt(720, 560);
    EXPECT_EQ(gTarvel.mSaveRequest, 1);
}

// The header's state text fills its 16 bytes in a file written elsewhere:
// the description key stops at 15 characters.
TEST_F(MenuTest, AFullWidthStateTextGivesAFifteenCharacterKey)
{
    WriteSavegame("full.demogame", 2020, 1, "abcdefghijklmno");
    std::fstream file(mFolder / "full.demogame", std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(148 + 15);
    file.put('p');   // no terminator left in the field
    file.close();
    Gameplay().mTextLines.Add("save_desc_abcdefghijklmno Fifteen");
    Menu().OpenMainPage();
    ClickAt(459, 344);
    ASSERT_EQ(Menu().mSlots.Count(), 1);
    EXPECT_STREQ(Menu().mSlots[0].descriptionKey, "abcdefghijklmno");
    ASSERT_EQ(Menu().mDescriptionLines.Count(), 1);
    EXPECT_EQ(Menu().mDescriptionLines[0].count, 7);   // "Fifteen"
}

TEST_F(MenuTest, TheCaretBlinksEveryHalfSecond)
{
    Menu().OpenMainPage();
    ClickAt(463, 308);
    const bool first = Menu().mCaretOn;
    gTarvel.mTimer.mGameTime += 400;
    Step();
    EXPECT_EQ(Menu().mCaretOn, first);
    gTarvel.mTimer.mGameTime += 200;
    Step();
    EXPECT_NE(Menu().mCaretOn, first);
    // The caret is the line's last character while it shows.
    if (!Menu().mCaretOn) {
        gTarvel.mTimer.mGameTime += 600;
        Step();
    }
    EXPECT_EQ(Menu().mNameLine->mCharCount, int32_t(Menu().mTypedName.Length()) + 1);
}

} // namespace
