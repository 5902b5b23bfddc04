#include "engine/gameplay/savegame.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/menu.h"
#include "engine/render/render_test_support.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/font_writer.h"
#include "tools/savegame_file.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace fs = std::filesystem;
namespace pt = platform::testing;

namespace {

std::vector<std::string> gCalls;

void RecordCall(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

void QuitOnStart(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
    if (std::string(name) == "Main::Start")
        gTarvel.mQuitRequest = 1;
}

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// The local time of saving is the one value two saves need not share.
std::string WithoutSaveTime(std::string xml)
{
    const size_t from = xml.find("<SaveTime>");
    const size_t to = xml.find("</SaveTime>");
    if (from != std::string::npos && to != std::string::npos)
        xml.erase(from, to + std::strlen("</SaveTime>") - from);
    return xml;
}

// A control the savegame re-creates by its class number.
class ReloadedControl : public cTarvelControl {
public:
    explicit ReloadedControl(int32_t value) : cTarvelControl(7), mValue(value) {}
    void Save(cTarvelSavegame& savegame) override
    {
        SaveClass(savegame);
        savegame.WriteInt("Value", mValue);
    }
    int32_t mValue;
};

cTarvelControl* LoadReloaded(cTarvelSavegame& savegame)
{
    return new ReloadedControl(savegame.ReadInt("Value", -1));
}

constexpr const char* kRoomScript = "global Room object class=cScene\n"
                                    "global PC object class=cActor\n"
                                    "ret\n"
                                    "function Room::SetLights_night\nret\n";

// The engine on an archive with the scene "Room" and the actor "Ann" in the
// game state "day", in the game: Ann is the player and the shared table holds
// a string and a block beside "PC" and "OFF".
class SavegameFileTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        gCalls.clear();
        testkit::SceneFile room;
        room.name = "Room";
        testkit::SceneMesh floor;
        floor.name = "floor";
        floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}};
        floor.indices = {0, 1, 2};
        room.meshes = {floor};
        room.views = {{"Main", {0, 150, -500, 0, 0, 0, 1, 0.785f}}, {"Close", {0, 100, -200, 0, 0, 0, 1, 0.6f}}};
        room.script = AssembleScriptOrThrow(kRoomScript);
        const std::vector<uint8_t> scene = testkit::BuildSceneFile(room);
        const std::vector<uint8_t> actor = AssembleActorScript("Ann", "global PC object class=cActor\nret\n");
        // The description box's font, for the menu's pages.
        std::u16string codes;
        for (char16_t c = 32; c < 127; ++c)
            codes += c;
        StartWith([&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "font1", 0, testkit::BuildGridFont(codes, 9), true);
            writer.AddShared(1, "Room.day", testkit::kSceneResourceType, scene, false);
            writer.AddShared(1, "Ann.day", 2, actor, false);
        });
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        pt::FailFileWritesAfter(-1);
        // The fuzz seeds are the files these tests write: TARVEL_SAVEGAME_SEEDS
        // names a folder to collect them in.
        if (const char* seeds = std::getenv("TARVEL_SAVEGAME_SEEDS")) {
            const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
            for (const fs::directory_entry& entry : fs::directory_iterator(WorkDir()))
                if (entry.path().extension() == ".demogame")
                    fs::copy_file(entry.path(), fs::path(seeds) / (test + "-" + entry.path().filename().string()),
                                  fs::copy_options::overwrite_existing);
        }
        RenderTest::TearDown();
    }

    void EnterGame(bool withPlayer = true)
    {
        gTarvel.mGameState = gTarvel.mPendingGameState = "day";
        auto* scene = new cTarvelScene();
        scene->mSlot = gTarvel.mResources.OpenResource("Room.day", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(scene, 0), 0);
        if (withPlayer) {
            gTarvel.mPlayer = new cTarvelActor("Ann", "", false);
            gTarvel.mPlayer->mIsPlayer = true;
            gSharedSymbols.data[0].object = gScriptHandles.Bind(gTarvel.mPlayer, eScriptObjectType::Actor);
        }
        cTarvelScriptValue text = cTarvelScriptValue::FromString("  spaced out  ");
        text.name = "Note";
        text.scope = 2;
        gSharedSymbols.Add(text);
        const uint8_t block[5] = {0, 1, 2, 0xFE, 0xFF};
        cTarvelScriptValue bytes = cTarvelScriptValue::FromBytes(block, sizeof block);
        bytes.name = "~BunkerWallData~";
        bytes.scope = 2;
        gSharedSymbols.Add(bytes);
        gTarvel.mPreviousSceneName = "Cellar";
        // Lights are set as scripts set them: their event runs.
        gTarvel.mLights.mName = "night";
        scene->mScript->CallEvent(scene->mScriptObject, "SetLights_night");
    }

    static testkit::SavegameContents Contents(const fs::path& path)
    {
        testkit::SavegameContents contents;
        std::string error;
        EXPECT_TRUE(testkit::ReadSavegame(ReadBytes(path), &contents, &error)) << path << ": " << error;
        return contents;
    }

    // What a refused load must leave as it was.
    struct GameState {
        cTarvelScene* scene;
        cTarvelActor* player;
        std::vector<std::string> symbols;
        std::string state;
        bool operator==(const GameState&) const = default;
    };
    static GameState Snapshot()
    {
        GameState state{gTarvel.mScene, gTarvel.mPlayer, {}, gTarvel.mGameState.c_str()};
        for (const cTarvelScriptValue& value : gSharedSymbols)
            state.symbols.push_back(value.name.c_str());
        return state;
    }

    const cTarvelScriptValue* SharedSymbol(const char* name) const
    {
        for (const cTarvelScriptValue& value : gSharedSymbols)
            if (value.name == name)
                return &value;
        return nullptr;
    }

    std::string SavedXml(const char* path)
    {
        gTarvel.mSavegame.Save(path);
        return Contents(WorkDir() / path).xml;
    }
};

TEST_F(SavegameFileTest, SaveLoadSaveGivesTheSameDocument)
{
    EnterGame();
    gTarvel.mGraphics.ApplyFOD(1.5f);
    gTarvel.mGraphics.mFocalPlane = 3.0f;
    gTarvel.mGraphics.mFocalTarget = 7.0f;
    const std::string first = SavedXml("first.demogame");
    cTarvelScene* oldScene = gTarvel.mScene;
    cTarvelActor* oldPlayer = gTarvel.mPlayer;
    gTarvel.mGraphics.mDepthOfField = false;
    gTarvel.mPreviousSceneName = "Elsewhere";
    gTarvel.mGameState = "night";
    gTarvel.mGraphics.mSkipPresent = false;

    cTarvelScript::sCallObserver = RecordCall;
    ASSERT_TRUE(gTarvel.mSavegame.Load("first.demogame", 0));
    cTarvelScript::sCallObserver = nullptr;
    EXPECT_EQ(WithoutSaveTime(SavedXml("second.demogame")), WithoutSaveTime(first));

    // A new scene and player, bound wherever scripts look for them.
    ASSERT_NE(gTarvel.mScene, nullptr);
    ASSERT_NE(gTarvel.mPlayer, nullptr);
    EXPECT_NE(gTarvel.mScene, oldScene);
    EXPECT_NE(gTarvel.mPlayer, oldPlayer);
    EXPECT_STREQ(gTarvel.mScene->mHeader.name, "Room");
    EXPECT_STREQ(gTarvel.mPlayer->mName.c_str(), "Ann");
    EXPECT_TRUE(gTarvel.mPlayer->mIsPlayer);
    const uint32_t player = gScriptHandles.Bind(gTarvel.mPlayer, eScriptObjectType::Actor);
    ASSERT_NE(SharedSymbol("PC"), nullptr);
    EXPECT_EQ(SharedSymbol("PC")->object, player);
    EXPECT_EQ(gTarvel.mPlayer->mScript->FindSymbol("PC", "cActor")->object, player);
    EXPECT_EQ(gTarvel.mScene->mScript->FindSymbol("PC", "cActor")->object, player);
    EXPECT_EQ(SharedSymbol("OFF")->object, gScriptHandles.Bind(gTarvel.mSpeech.mOffVoice, eScriptObjectType::Actor));

    // The table as it was, "OFF" once, the block and the blank-edged text whole.
    std::vector<std::string> names;
    for (const cTarvelScriptValue& value : gSharedSymbols)
        names.push_back(value.name.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"PC", "OFF", "Note", "~BunkerWallData~"}));
    EXPECT_STREQ(SharedSymbol("Note")->string.c_str(), "  spaced out  ");
    const cTarvelScriptValue* block = SharedSymbol("~BunkerWallData~");
    EXPECT_EQ(block->kind, uint32_t(kScriptBytes));
    EXPECT_EQ(block->integer, 5);
    EXPECT_EQ(block->bytes, (std::vector<uint8_t>{0, 1, 2, 0xFE, 0xFF}));

    EXPECT_STREQ(gTarvel.mGameState.c_str(), "day");
    EXPECT_STREQ(gTarvel.mPendingGameState.c_str(), "day");
    EXPECT_STREQ(gTarvel.mPreviousSceneName.c_str(), "Cellar");
    EXPECT_STREQ(gTarvel.mLights.mName.c_str(), "night");
    EXPECT_NE(std::find(gCalls.begin(), gCalls.end(), "Room::SetLights_night"), gCalls.end());
    EXPECT_TRUE(gTarvel.mGraphics.mDepthOfField);
    EXPECT_FLOAT_EQ(gTarvel.mGraphics.mBlurParameter, 1.5f);
    EXPECT_FLOAT_EQ(gTarvel.mGraphics.mFocalPlane, 3.0f);
    EXPECT_FLOAT_EQ(gTarvel.mGraphics.mFocalTarget, 7.0f);
    EXPECT_TRUE(gTarvel.mGraphics.mSkipPresent);
}

TEST_F(SavegameFileTest, PostEffectIsRestoredThroughTheShaderLibrary)
{
    EnterGame();
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    ASSERT_TRUE(gTarvel.mShaders.LoadShader("image_basic", "image_blended", &graphics.mPostEffect, false));
    graphics.mTimedPostEffect = true;
    graphics.mPostEffectStart = gTarvel.mTimer.mGameSeconds - 1.5f;
    graphics.mPostEffectDuration = 4.0f;
    const std::string xml = SavedXml("slot.demogame");
    EXPECT_NE(xml.find("<PostFX><Shader>image_basic</Shader><Technique>image_blended</Technique>"
                       "<StartTime>-1.50000000</StartTime><Duration>4.00000000</Duration><Timed>1</Timed></PostFX>"),
              std::string::npos)
        << xml;

    // The scene change clears the binding; the load binds it again.
    ASSERT_TRUE(gTarvel.mSavegame.Load("slot.demogame", 0));
    ASSERT_NE(graphics.mPostEffect.technique, nullptr);
    EXPECT_STREQ(graphics.mPostEffect.techniqueName, "image_blended");
    EXPECT_TRUE(graphics.mTimedPostEffect);
    EXPECT_FLOAT_EQ(graphics.mPostEffectStart, gTarvel.mTimer.mGameSeconds - 1.5f);
    EXPECT_FLOAT_EQ(graphics.mPostEffectDuration, 4.0f);

    // Without post effects in the settings there is nothing to save.
    gTarvel.mConfig.PostEffects = 0;
    EXPECT_EQ(SavedXml("off.demogame").find("<PostFX>"), std::string::npos);
}

TEST_F(SavegameFileTest, FileLayout)
{
    EnterGame();
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    gTarvel.mSavegame.Save("slot.demogame");
    const std::vector<uint8_t> file = ReadBytes(WorkDir() / "slot.demogame");
    ASSERT_GT(file.size(), 181u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "sava");
    const testkit::SavegameContents contents = Contents(WorkDir() / "slot.demogame");
    ASSERT_TRUE(contents.hasHeader);
    const uint16_t expected[8] = {utc.wYear, utc.wMonth, utc.wDayOfWeek, utc.wDay,
                                  utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds};
    // The clock runs on while the file is made.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(contents.header.time[i], expected[i]) << i;
    auto milliseconds = [](const uint16_t* t) { return ((t[4] * 60 + t[5]) * 60 + t[6]) * 1000 + t[7]; };
    EXPECT_LE(milliseconds(contents.header.time.data()) - milliseconds(expected), 5000);
    EXPECT_GE(milliseconds(contents.header.time.data()) - milliseconds(expected), 0);
    EXPECT_EQ(contents.header.player, "Ann");
    EXPECT_EQ(contents.header.scene, "Room");
    EXPECT_EQ(contents.header.state, "day");
    // Each text field is zero after its text.
    for (size_t i = 20 + 3; i < 84; ++i)
        EXPECT_EQ(file[i], 0) << i;
    EXPECT_EQ(contents.storedLength, contents.xml.size());
    const uint32_t word = file[177] | file[178] << 8 | file[179] << 16 | uint32_t(file[180]) << 24;
    EXPECT_EQ(word, contents.xml.size());
    // The stream header of level 9 begins the stream at offset 164.
    EXPECT_EQ(file[164], 0x78);
    EXPECT_EQ(file[165], 0xDA);

    // Compact printing: no declaration, no line breaks, the root's attributes.
    EXPECT_EQ(contents.xml.rfind("<Demogame release=\"Tarvel 3.0\" version=\"1\" game=\"Kestrelmoor\"><Info>"
                                 "<Project><Name>test</Name><Build>1</Build></Project><Configuration>",
                                 0),
              0u)
        << contents.xml.substr(0, 200);
    EXPECT_EQ(contents.xml.find('\n'), std::string::npos);
    TiXmlDocument document;
    document.Parse(contents.xml.c_str());
    std::vector<std::string> children;
    for (TiXmlElement* e = document.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement())
        children.push_back(e->Value());
    EXPECT_EQ(children, (std::vector<std::string>{"Info", "Globals", "PC", "Camera0", "Camera1", "Inventory", "PDA",
                                                  "Timer", "Sound", "Scene", "Symbols"}));
    EXPECT_STREQ(document.RootElement()->FirstChildElement("PC")->Attribute("name"), "Ann");
    EXPECT_STREQ(document.RootElement()->FirstChildElement("Scene")->Attribute("name"), "Room");

    // A file without the mark is read from its first byte.
    WriteBytes(WorkDir() / "bare.demogame", testkit::BuildSavegame(contents.xml, nullptr));
    delete gTarvel.mPlayer;
    gTarvel.mPlayer = nullptr;
    ASSERT_TRUE(gTarvel.mSavegame.Load("bare.demogame", 1));
    ASSERT_NE(gTarvel.mPlayer, nullptr);
    EXPECT_STREQ(gTarvel.mPlayer->mName.c_str(), "Ann");
}

// Names filling a text field, or longer, are cut to leave the field's last
// byte zero; the neighbouring field is never touched.
TEST_F(SavegameFileTest, HeaderTextFieldsAreCutToTheirWidth)
{
    EnterGame();
    const struct {
        size_t length;   // of the player's name, the scene's and the state
        size_t player, scene, state;   // what the header keeps
    } cases[] = {{15, 15, 15, 15}, {16, 16, 16, 15}, {63, 63, 63, 15}, {64, 63, 63, 15}, {80, 63, 63, 15}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        gTarvel.mPlayer->mName = std::string(c.length, 'p').c_str();
        const std::string scene(std::min<size_t>(c.length, 63), 's');
        std::memcpy(gTarvel.mScene->mHeader.name, scene.c_str(), scene.size() + 1);
        gTarvel.mGameState = std::string(c.length, 't').c_str();
        ASSERT_TRUE(gTarvel.mSavegame.Save("wide.demogame"));
        const std::vector<uint8_t> file = ReadBytes(WorkDir() / "wide.demogame");
        ASSERT_GT(file.size(), 164u);
        const struct {
            size_t at, width, kept;
            char letter;
        } fields[] = {{20, 64, c.player, 'p'}, {84, 64, c.scene, 's'}, {148, 16, c.state, 't'}};
        for (const auto& f : fields)
            for (size_t i = 0; i < f.width; ++i)
                EXPECT_EQ(file[f.at + i], i < f.kept ? uint8_t(f.letter) : 0) << f.at << "+" << i;
        const testkit::SavegameContents contents = Contents(WorkDir() / "wide.demogame");
        EXPECT_EQ(contents.header.player, std::string(c.player, 'p'));
        EXPECT_EQ(contents.header.state, std::string(c.state, 't'));
    }
}

TEST_F(SavegameFileTest, RefusedFilesLeaveTheGameAsItWas)
{
    EnterGame();
    gTarvel.mSavegame.Save("good.demogame");
    const std::vector<uint8_t> good = ReadBytes(WorkDir() / "good.demogame");
    const testkit::SavegameContents contents = Contents(WorkDir() / "good.demogame");
    const std::string& xml = contents.xml;
    const uint32_t shorter = uint32_t(xml.size() - 1), longer = uint32_t(xml.size() + 1), huge = 0x7FFFFFFF;
    const uint32_t zero = 0;
    auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + long(size)); };
    std::vector<uint8_t> damaged = good;
    for (size_t i = 200; i < 230 && i < damaged.size(); ++i)
        damaged[i] ^= 0x5A;
    std::string deep = "<Demogame release=\"Tarvel 3.0\" game=\"Kestrelmoor\"><Globals/><Scene name=\"Room\"/>";
    for (int i = 0; i < 1000; ++i)
        deep += "<a>";
    deep += "</Demogame>";

    const std::string loadFailed = "Savegame file cannot be loaded.";
    const std::string parseError = "Parse error. This savegame file is most probably broken.";
    const std::string noRoot = "Root element not found. This savegame file is most probably broken.";
    const std::string signature = "Release or game signature do not match. This savegame file is from another game "
                                  "or an incompatible release.";
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::string reason;
    };
    const Case cases[] = {
        {"empty file", {}, loadFailed},
        {"cut in the mark", cut(3), loadFailed},
        {"cut in the time", cut(12), loadFailed},
        {"cut in the names", cut(100), loadFailed},
        {"cut after the header", cut(164), loadFailed},
        {"cut in the stream head", cut(170), loadFailed},
        {"cut in the length", cut(179), loadFailed},
        {"cut in the stream", cut(good.size() / 2), loadFailed},
        {"cut by one byte", cut(good.size() - 1), loadFailed},
        {"stored length too small", testkit::BuildSavegame(xml, &contents.header, &shorter), loadFailed},
        {"stored length too large", testkit::BuildSavegame(xml, &contents.header, &longer), loadFailed},
        {"stored length zero", testkit::BuildSavegame(xml, &contents.header, &zero), loadFailed},
        {"stored length beyond the cap", testkit::BuildSavegame(xml, &contents.header, &huge), loadFailed},
        {"damaged stream", damaged, loadFailed},
        {"bad XML", testkit::BuildSavegame("<Demogame release=\"Tarvel 3.0\"", &contents.header), loadFailed},
        {"nesting too deep", testkit::BuildSavegame(deep, &contents.header), loadFailed},
        {"no root", testkit::BuildSavegame(Replace(Replace(xml, "<Demogame ", "<Savegame "), "</Demogame>", "</Savegame>"),
                                           &contents.header), noRoot},
        {"wrong release",
         testkit::BuildSavegame(Replace(xml, "Tarvel 3.0", "Tarvel 2.0"), &contents.header), signature},
        {"wrong game",
         testkit::BuildSavegame(Replace(xml, "game=\"Kestrelmoor\"", "game=\"Other\""), &contents.header),
         signature},
        {"no game attribute",
         testkit::BuildSavegame(Replace(xml, " game=\"Kestrelmoor\"", ""), &contents.header), signature},
        {"no Globals", testkit::BuildSavegame(Replace(Replace(xml, "<Globals>", "<Global>"), "</Globals>", "</Global>"),
                                              &contents.header), parseError},
        {"no Scene",
         testkit::BuildSavegame(Replace(Replace(xml, "<Scene name=", "<Stage name="), "</Scene>", "</Stage>"),
                                &contents.header), parseError},
        {"scene not in the archive",
         testkit::BuildSavegame(Replace(xml, "<Scene name=\"Room\"", "<Scene name=\"Attic\""), &contents.header),
         "Scene file can not be loaded."},
        {"player not in the archive",
         testkit::BuildSavegame(Replace(xml, "<PC name=\"Ann\"", "<PC name=\"Bob\""), &contents.header),
         parseError},
        {"inventory item not in the archive",
         testkit::BuildSavegame(Replace(xml, "<Inventory>", "<Inventory><Item name=\"Lamp\"/>"), &contents.header),
         "Loading inventory item failed. Item \"Lamp\", resource \"Lamp.day\"."},
        {"bunker wall cursor not in the archive",
         testkit::BuildSavegame(Replace(xml, "<Camera0", "<Control class=\"1\"><Cursor>nocursor</Cursor></Control><Camera0"),
                                &contents.header),
         "Image file not found: nocursor"},
        {"block size below zero",
         testkit::BuildSavegame(Replace(xml, "<AsInteger>5</AsInteger>", "<AsInteger>-1</AsInteger>"),
                                &contents.header),
         parseError},
        {"block size beyond the cap",
         testkit::BuildSavegame(Replace(xml, "<AsInteger>5</AsInteger>", "<AsInteger>1073741824</AsInteger>"),
                                &contents.header),
         parseError},
    };
    const GameState before = Snapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(WorkDir() / "bad.demogame", c.file);
        const std::string message = "Error while processing savegame file: " + c.reason;
        const size_t logged = Log().size();
        EXPECT_FALSE(gTarvel.mSavegame.Load("bad.demogame", 1));
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_EQ(gTarvel.mSavegame.mDocument, nullptr);
        EXPECT_EQ(gTarvel.mSavegame.mRefusal.c_str(), message);
        EXPECT_EQ(gTarvel.mSavegame.Check("bad.demogame").c_str(), message);
        // Asked for by the player, the refusal is logged, and the game goes
        // on all the same.
        EXPECT_EQ(Log().find("cTarvelSavegame::Load", logged), std::string::npos);
        EXPECT_FALSE(gTarvel.mSavegame.Load("bad.demogame", 0));
        EXPECT_NE(Log().find("Error in function cTarvelSavegame::Load\n" + message + "\n", logged), std::string::npos)
            << Log().substr(logged);
        EXPECT_TRUE(Snapshot() == before);
    }
    // The parse error is logged with the library's number and description.
    EXPECT_NE(Log().find("XML Error: "), std::string::npos);

    EXPECT_FALSE(gTarvel.mSavegame.Load("missing.demogame", 1));
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_FALSE(gTarvel.mSavegame.Load("missing.demogame", 0));
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_NE(std::string(gTarvel.mSavegame.mRefusal.c_str()).find(loadFailed), std::string::npos);
    // The file checked is the one loaded: a good one is not refused.
    EXPECT_STREQ(gTarvel.mSavegame.Check("good.demogame").c_str(), "");
    EXPECT_TRUE(Snapshot() == before);
}

TEST_F(SavegameFileTest, NoPlayerIsSavedAndLoadedAsNone)
{
    EnterGame(false);
    gTarvel.mSavegame.Save("alone.demogame");
    const std::vector<uint8_t> file = ReadBytes(WorkDir() / "alone.demogame");
    ASSERT_GT(file.size(), 84u);
    for (size_t i = 20; i < 84; ++i)
        EXPECT_EQ(file[i], 0) << i;
    EXPECT_EQ(Contents(WorkDir() / "alone.demogame").xml.find("<PC"), std::string::npos);

    gTarvel.mPlayer = new cTarvelActor("Ann", "", false);
    ASSERT_TRUE(gTarvel.mSavegame.Load("alone.demogame", 0));
    EXPECT_EQ(gTarvel.mPlayer, nullptr);
}

TEST_F(SavegameFileTest, LaterVersionsWithoutSymbolsAndUnsavedControlClasses)
{
    EnterGame();
    const std::string xml = SavedXml("slot.demogame");
    const testkit::SavegameHeader header = Contents(WorkDir() / "slot.demogame").header;
    // Version 2, no "Symbols", a control of class 3 between two reloadable ones.
    std::string edited = Replace(xml, "version=\"1\"", "version=\"2\"");
    edited.erase(edited.find("<Symbols>"), edited.find("</Symbols>") + std::strlen("</Symbols>") -
                                                edited.find("<Symbols>"));
    edited = Replace(edited, "<Camera0",
                     "<Control class=\"7\"><Value>11</Value></Control><Control class=\"3\"><Value>0</Value>"
                     "</Control><Control class=\"7\"><Value>12</Value></Control><Camera0");
    WriteBytes(WorkDir() / "edited.demogame", testkit::BuildSavegame(edited, &header));

    ASSERT_TRUE(RegisterControlClass(7, LoadReloaded));
    const bool loaded = gTarvel.mSavegame.Load("edited.demogame", 0);
    RegisterControlClass(7, nullptr);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(gActiveControls.Count(), 2);
    EXPECT_EQ(static_cast<ReloadedControl*>(gActiveControls[0])->mValue, 11);
    EXPECT_EQ(static_cast<ReloadedControl*>(gActiveControls[1])->mValue, 12);
    ASSERT_EQ(gSharedSymbols.Count(), 1);
    EXPECT_STREQ(gSharedSymbols[0].name.c_str(), "OFF");
    EXPECT_STREQ(gSharedSymbols[0].className.c_str(), "cActor");
    EXPECT_EQ(gSharedSymbols[0].kind, uint32_t(kScriptResultObject));
    EXPECT_EQ(gSharedSymbols[0].scope, 2);
    // Running controls are saved as their elements.
    const std::string again = SavedXml("again.demogame");
    EXPECT_NE(again.find("<Control class=\"7\"><Value>11</Value></Control><Control class=\"7\"><Value>12</Value>"
                         "</Control><Camera0"),
              std::string::npos);
}

TEST_F(SavegameFileTest, InterruptedSaveKeepsThePreviousFile)
{
    EnterGame();
    gTarvel.mSavegame.Save("slot.demogame");
    const std::vector<uint8_t> previous = ReadBytes(WorkDir() / "slot.demogame");
    gTarvel.mGameState = "evening";
    for (int64_t limit : {0, 100, 164, 170, 180, 400}) {
        SCOPED_TRACE(limit);
        pt::FailFileWritesAfter(limit);
        const size_t logged = Log().size();
        EXPECT_FALSE(gTarvel.mSavegame.Save("slot.demogame"));
        pt::FailFileWritesAfter(-1);
        EXPECT_NE(Log().find("Error in function cTarvelSavegame::Save\nError creating savegame file.\n", logged),
                  std::string::npos)
            << Log().substr(logged);
        EXPECT_STREQ(gTarvel.mSavegame.mRefusal.c_str(), "Error creating savegame file.");
        EXPECT_EQ(ReadBytes(WorkDir() / "slot.demogame"), previous);
        EXPECT_FALSE(fs::exists(WorkDir() / "slot.demogame.tmp"));
    }
    // With the disk back the new state replaces the old one.
    EXPECT_TRUE(gTarvel.mSavegame.Save("slot.demogame"));
    EXPECT_EQ(Contents(WorkDir() / "slot.demogame").header.state, "evening");
    EXPECT_FALSE(fs::exists(WorkDir() / "slot.demogame.tmp"));

    EXPECT_FALSE(gTarvel.mSavegame.Save("no such folder\\slot.demogame"));
    EXPECT_STREQ(gTarvel.mSavegame.mRefusal.c_str(), "Error opening savegame file.");
}

TEST_F(SavegameFileTest, RequestsOfTheMainLoopSaveAndLoad)
{
    EnterGame();
    gTarvel.mSavegamePath = "slot.demogame";
    gTarvel.mSaveRequest = 1;
    pt::AdvanceClock(20);
    gTarvel.RunPass();
    ASSERT_TRUE(fs::exists(WorkDir() / "slot.demogame"));
    cTarvelScene* before = gTarvel.mScene;
    gTarvel.mLoadRequest = 1;
    pt::AdvanceClock(20);
    gTarvel.RunPass();
    EXPECT_NE(gTarvel.mScene, before);
    EXPECT_EQ(gTarvel.mLoadRequest, 0);
}

// A save that cannot be written (a full disk) says so on the save page, and
// the game goes on; so does a load refused between the page and the loop.
TEST_F(SavegameFileTest, FailedRequestsOfTheMainLoopLeaveTheGameRunning)
{
    EnterGame();
    cTarvelScene* scene = gTarvel.mScene;
    gTarvel.mSavegamePath = "slot.demogame";
    gTarvel.mSaveRequest = 1;
    gTarvel.mThumbnailRequest = 1;
    gTarvel.mThumbnailPath = "slot.png";
    pt::FailFileWritesAfter(100);
    pt::AdvanceClock(20);
    gTarvel.RunPass();
    pt::FailFileWritesAfter(-1);
    EXPECT_EQ(gTarvel.mSaveRequest, 0);
    EXPECT_EQ(gTarvel.mThumbnailRequest, 0);
    EXPECT_FALSE(fs::exists(WorkDir() / "slot.demogame"));
    EXPECT_FALSE(fs::exists(WorkDir() / "slot.png"));
    EXPECT_EQ(gTarvel.mScene, scene);
    const cTarvelMenu& menu = gTarvel.mMenu;
    EXPECT_TRUE(menu.mOpen);
    EXPECT_EQ(menu.mState, cTarvelMenu::kSavePage);
    ASSERT_EQ(menu.mDescriptionLines.Count(), 1);
    EXPECT_EQ(menu.mDescriptionLines[0].count, int32_t(std::strlen("Error creating savegame file.")));
    EXPECT_NE(Log().find("Error in function cTarvelSavegame::Save\nError creating savegame file."), std::string::npos);

    WriteBytes(WorkDir() / "bad.demogame", {1, 2, 3});
    gTarvel.mSavegamePath = "bad.demogame";
    gTarvel.mLoadRequest = 1;
    pt::AdvanceClock(20);
    gTarvel.RunPass();
    EXPECT_EQ(gTarvel.mLoadRequest, 0);
    EXPECT_EQ(gTarvel.mScene, scene);
    EXPECT_NE(Log().find("Error in function cTarvelSavegame::Load\n"), std::string::npos);
}

// The load page refuses a damaged savegame with the reason in its box and
// stays open; a good one is handed to the main loop.
TEST_F(SavegameFileTest, TheLoadPageRefusesADamagedSavegame)
{
    EnterGame();
    const cTarvelString folder = gTarvel.mSavegameFolder;
    ASSERT_TRUE(gTarvel.mSavegame.Save(folder + "good.demogame"));
    const fs::path good = platform::MapPath((folder + "good.demogame").c_str());
    const std::vector<uint8_t> bytes = ReadBytes(good);
    WriteBytes(good.parent_path() / "cut.demogame", std::vector<uint8_t>(bytes.begin(), bytes.end() - 10));
    const testkit::SavegameContents contents = Contents(good);
    WriteBytes(good.parent_path() / "lamp.demogame",
               testkit::BuildSavegame(Replace(contents.xml, "<Inventory>", "<Inventory><Item name=\"Lamp\"/>"),
                                      &contents.header));
    WriteBytes(good.parent_path() / "other.demogame",
               testkit::BuildSavegame(Replace(contents.xml, "game=\"Kestrelmoor\"", "game=\"Other\""),
                                      &contents.header));
    cTarvelScene* scene = gTarvel.mScene;
    cTarvelMenu& menu = gTarvel.mMenu;
    auto pick = [&](const char* name) {
        menu.OpenMainPage();
        menu.OpenSlotPage(cTarvelMenu::kLoadPage);
        for (int32_t i = 0; i < menu.mSlots.Count(); ++i)
            if (std::string(menu.mSlots[i].name) == name)
                menu.mSelectedSlot = i;
        menu.ShowSlot();
        ASSERT_STREQ(menu.mSlots[menu.mSelectedSlot].name, name);
        pt::InjectClick(pt::Button::Left, 720, 560);   // OK
        gTarvel.PumpMessages();
        menu.Update();
    };
    const struct {
        const char* name;
        std::vector<std::string> lines;
    } refused[] = {
        {"cut", {"Error while processing savegame file:", "Savegame file cannot be loaded."}},
        {"lamp",
         {"Error while processing savegame file:", "Loading inventory item failed.", "Item \"Lamp\", resource \"Lamp.day\"."}},
        // Sentences wider than the box (340 pixels, 9 a letter) are wrapped.
        {"other",
         {"Error while processing savegame file:", "Release or game signature do not", "match.",
          "This savegame file is from another", "game or an incompatible release."}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        pick(c.name);
        EXPECT_TRUE(menu.mOpen);
        EXPECT_EQ(menu.mState, cTarvelMenu::kLoadPage);
        EXPECT_EQ(gTarvel.mLoadRequest, 0);
        ASSERT_EQ(menu.mDescriptionLines.Count(), int32_t(c.lines.size()));
        for (size_t k = 0; k < c.lines.size(); ++k)
            EXPECT_EQ(menu.mDescriptionLines[int32_t(k)].count, int32_t(c.lines[k].size())) << c.lines[k];
        menu.Close();
    }
    EXPECT_EQ(gTarvel.mScene, scene);

    pick("good");
    EXPECT_FALSE(menu.mOpen);
    EXPECT_EQ(gTarvel.mLoadRequest, 1);
    pt::AdvanceClock(20);
    gTarvel.RunPass();
    EXPECT_NE(gTarvel.mScene, scene);
}

TEST_F(SavegameFileTest, StartUpLoadsLastdemoOrStartsANewGame)
{
    EnterGame();
    const fs::path lastdemo = platform::MapPath((gTarvel.mSavegameFolder + "lastdemo").c_str());
    gTarvel.mSavegame.Save(gTarvel.mSavegameFolder + "lastdemo");
    const std::string xml = Contents(lastdemo).xml;
    const testkit::SavegameHeader header = Contents(lastdemo).header;

    // A lastdemo naming a scene the archive lacks: a new game, every start.
    WriteBytes(lastdemo, testkit::BuildSavegame(Replace(xml, "<Scene name=\"Room\"", "<Scene name=\"Attic\""),
                                                &header));
    cTarvelScene* scene = gTarvel.mScene;
    gTarvel.mSavegame.Load(gTarvel.mSavegameFolder + "lastdemo", 1);
    EXPECT_EQ(gTarvel.mScene, scene);
    WriteBytes(lastdemo.string() + ".refused", {1, 2, 3});
    cTarvelScript::sCallObserver = QuitOnStart;
    EXPECT_EQ(gTarvel.Run(""), 0);
    EXPECT_NE(std::find(gCalls.begin(), gCalls.end(), "Main::Start"), gCalls.end());
    // Leaving the loop saved the new game; the refused one is kept beside
    // it, without overwriting one kept before.
    EXPECT_EQ(Contents(lastdemo).xml.find("Attic"), std::string::npos);
    EXPECT_EQ(ReadBytes(lastdemo.string() + ".refused"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_NE(Contents(lastdemo.string() + ".refused.2").xml.find("Attic"), std::string::npos);
}

// At 1024 x 768 and at 1280 x 1024, whose scales differ between the axes.
TEST_F(SavegameFileTest, ThePictureIsTheStageAt512By256)
{
    for (const DWORD screenRes : {0x04000300u, 0x05000400u}) {
        SCOPED_TRACE(screenRes);
        if (screenRes != 0x04000300u) {
            RebuildEngine();
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
            ASSERT_EQ(RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&screenRes), 4),
                      ERROR_SUCCESS);
            RegCloseKey(key);
            InitEngine();
        }
        cTarvelGraphics& graphics = gTarvel.mGraphics;
        IDirect3DDevice9* device = graphics.mDevice;
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(graphics.mWidth, LONG(screenRes >> 16));
        ASSERT_EQ(graphics.mHeight, LONG(screenRes & 0xFFFF));
        // The top band red, the stage's left half green and right half blue, the
        // interface bar white.
        const LONG top = LONG(128 * graphics.mScaleY), bottom = LONG(640 * graphics.mScaleY);
        const LONG middle = LONG(512 * graphics.mScaleX), right = graphics.mWidth;
        const D3DRECT bands[4] = {{0, 0, right, top}, {0, top, middle, bottom}, {middle, top, right, bottom},
                                  {0, bottom, right, graphics.mHeight}};
        const D3DCOLOR colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        for (int i = 0; i < 4; ++i)
            device->Clear(1, &bands[i], D3DCLEAR_TARGET, colours[i], 1.0f, 0);
        device->Present(nullptr, nullptr, nullptr, nullptr);

        WriteBytes(WorkDir() / "slot.png", {1, 2, 3});
        gTarvel.mSavegame.SaveThumbnail("slot.png");
        EXPECT_FALSE(fs::exists(WorkDir() / "slot.png.tmp"));
        pt::Picture picture;
        ASSERT_TRUE(pt::LoadPng((WorkDir() / "slot.png").string(), &picture));
        EXPECT_EQ(picture.width, 512);
        EXPECT_EQ(picture.height, 256);
        for (int y : {0, 128, 255}) {
            EXPECT_EQ(picture.At(4, y), 0x00FF00u) << y;
            EXPECT_EQ(picture.At(250, y), 0x00FF00u) << y;
            EXPECT_EQ(picture.At(262, y), 0x0000FFu) << y;
            EXPECT_EQ(picture.At(507, y), 0x0000FFu) << y;
        }

        // A picture that cannot be put in place leaves nothing behind.
        fs::create_directory(WorkDir() / "taken.png");
        gTarvel.mSavegame.SaveThumbnail("taken.png");
        EXPECT_TRUE(fs::is_directory(WorkDir() / "taken.png"));
        EXPECT_FALSE(fs::exists(WorkDir() / "taken.png.tmp"));
        gTarvel.mSavegame.SaveThumbnail("no such folder\\slot.png");
        EXPECT_FALSE(fs::exists(WorkDir() / "no such folder"));
        fs::remove(WorkDir() / "slot.png");
        fs::remove(WorkDir() / "taken.png");
    }
}

} // namespace
