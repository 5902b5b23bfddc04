#include "engine/core/tarvel.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "animation/anim_manager.h"
#include "animation/core/core_test_support.h"
#include "animation/core/memory_manager.h"
#include "animation/event_manager.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/script/script_handles.h"
#include "engine/gameplay/screen_control.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/mobile_motion_event_handler.h"
#include "engine/world/scene.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace fs = std::filesystem;

namespace {

class TarvelTest : public EngineTest {
protected:
    void SetKeyValue(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetDword(const char* name, DWORD value) { SetKeyValue(name, REG_DWORD, &value, 4); }
    fs::path Documents() const { return RootDir() / "drives/c/Users/Player/Documents"; }
};

// Sets the locale variables for one test and puts them back.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* lang)
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(name);
            mSaved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
            unsetenv(name);
        }
        setenv("LANG", lang, 1);
    }
    ~ScopedLocale()
    {
        for (auto& [name, value] : mSaved) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> mSaved;
};

TEST_F(TarvelTest, ConfigurationDefaultsWithoutAKey)
{
    ScopedLocale german("de_DE.UTF-8");
    InitEngine();
    const tTarvelConfig& c = gTarvel.mConfig;
    EXPECT_EQ(c.ScreenRes, 0x04000300u);
    EXPECT_EQ(c.Antialiasing, 0u);
    EXPECT_EQ(c.PerPixelLighting, 1u);
    EXPECT_EQ(c.PostEffects, 1u);
    EXPECT_EQ(c.Shadows, 1u);
    EXPECT_EQ(c.ShadowFilter, 1u);
    EXPECT_EQ(c.Language, 7u);
    EXPECT_EQ(c.MusicVolume, 127u);
    EXPECT_EQ(c.DialogueVolume, 215u);
    EXPECT_EQ(c.SFXVolume, 255u);
    EXPECT_EQ(c.SoundBuffer, 1u);
    EXPECT_EQ(c.Subtitle, 0u);
    EXPECT_EQ(c.Gamma, 127u);
}

TEST_F(TarvelTest, ConfigurationFromTheRegistry)
{
    SetDword("ScreenRes", 0x05000400);
    SetDword("Language", 1);
    SetDword("Gamma", 200);
    SetDword("SoundBuffer", 2);
    // Four bytes of any type are taken as they stand; longer values are not.
    SetKeyValue("MusicVolume", REG_SZ, "abc", 4);
    SetKeyValue("SFXVolume", REG_SZ, "1600x1200", 10);
    SetKeyValue("Subtitle", REG_BINARY, "\x01\x00\x00\x00\x00", 5);
    InitEngine();
    const tTarvelConfig& c = gTarvel.mConfig;
    EXPECT_EQ(c.ScreenRes, 0x05000400u);
    EXPECT_EQ(c.Language, 1u);
    EXPECT_EQ(c.Gamma, 200u);
    EXPECT_EQ(c.SoundBuffer, 2u);
    EXPECT_EQ(c.MusicVolume, 0x00636261u);
    EXPECT_EQ(c.SFXVolume, 255u);
    EXPECT_EQ(c.Subtitle, 0u);
    EXPECT_EQ(c.DialogueVolume, 215u);
}

TEST_F(TarvelTest, SavegameFolderUnderMyDocuments)
{
    InitEngine();
    EXPECT_STREQ(gTarvel.mSavegameFolder.c_str(),
                 "C:\\Users\\Player\\Documents\\Kestrelmoor Savegames\\");
    EXPECT_TRUE(fs::is_directory(Documents() / "Kestrelmoor Savegames"));
    // An existing folder is used as it is.
    RebuildEngine();
    InitEngine();
    EXPECT_STREQ(gTarvel.mSavegameFolder.c_str(),
                 "C:\\Users\\Player\\Documents\\Kestrelmoor Savegames\\");
}

TEST_F(TarvelTest, SavegameFolderFallsBackToTheProgramFolder)
{
    // My Documents cannot be made: a file stands in its place.
    fs::create_directories(Documents().parent_path());
    std::ofstream(Documents()) << "not a folder";
    InitEngine();
    EXPECT_STREQ(gTarvel.mSavegameFolder.c_str(), "");
}

TEST_F(TarvelTest, InitLogsEveryStepInOrder)
{
    InitEngine();
    TIMECAPS caps{};
    ASSERT_EQ(timeGetDevCaps(&caps, sizeof(caps)), TIMERR_NOERROR);
    char timer[96];
    std::snprintf(timer, sizeof(timer), "Timer period is min %d / max %d.\n", int(caps.wPeriodMin),
                  int(caps.wPeriodMax));
    std::string expected = std::string("Reading configuration...\n") + timer +
                           "Initializing resources...\n"
                           "Initializing graphics...\n"
                           "Initializing physics...\n"
                           "Initializing shader library...\n"
                           "Initializing sound...\n"
                           "Initializing gameplay...\n";
    // The steps may log facts of their own after their first line (the
    // archive's volumes, the screen mode, the techniques found).
    std::string log;
    std::istringstream lines(Log());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Initializing ", 0) == 0 || line.rfind("Reading ", 0) == 0 || line.rfind("Timer ", 0) == 0)
            log += line + "\n";
    EXPECT_EQ(log, expected);
    EXPECT_EQ(gTarvel.mInitialised, 1);
}

TEST_F(TarvelTest, InitStartsTheAnimationLibraryWithTheGamesEventNames)
{
    InitEngine();
    Anim::EventManager* events = Anim::GetEventManager();
    ASSERT_NE(events, nullptr);
    const char* names[] = {"link",   "unlink", "footstep", "scrscene", "scrsceneex", "linkf",
                           "unlinkf", "setpose", "rotend",  "sound",    "sounda"};
    for (uint32_t id = 0; id < 11; ++id)
        EXPECT_EQ(events->FindEventID(names[id]), id) << names[id];
    EXPECT_NE(dynamic_cast<MobileMotionEventHandler*>(events->GetEventHandler()), nullptr);
    EXPECT_EQ(Log().find("Failed to initialize"), std::string::npos);

    gTarvel.Shutdown();
    EXPECT_EQ(Anim::GetAnimManager(), nullptr);
}

TEST_F(TarvelTest, AnimStartFailureEndsInit)
{
    // An allocator that still holds a block cannot be replaced by the engine's
    // standard one, so the library starts on memory that has run out.
    Anim::Shutdown();
    auto* allocator = new AnimCore::testing::TestAllocator;
    ASSERT_TRUE(AnimCore::MemoryManager::SetMemoryAllocator(allocator));
    void* held = AnimCore::MemoryManager::Allocate(4, AnimCore::MEMCATEGORY_MISC);
    allocator->failAll = true;

    WriteMinimalArchive(WorkDir());
    gInstance = GetModuleHandleA(nullptr);
    gTarvel.CreateMainWindow();
    EXPECT_EQ(gTarvel.Init(gMainWindow, gInstance, cTarvelString()), -1);
    const std::string log = Log();
    EXPECT_GE(log.size(), 26u);
    EXPECT_EQ(log.substr(log.size() - 26), "Failed to initialize Anim.");
    EXPECT_EQ(Anim::GetAnimManager(), nullptr);

    allocator->failAll = false;
    AnimCore::MemoryManager::Free(held);
    ASSERT_TRUE(AnimCore::MemoryManager::SetMemoryAllocator(nullptr));
}

TEST_F(TarvelTest, FailingStepsEndInitWithoutAFatalReport)
{
    struct Case {
        const char* step;
        bool withProject;
        const char* lastLine;
        int expected;
    };
    const Case cases[] = {
        {"gameplay", false, "Initializing gameplay...\n", -1},
    };
    for (const Case& c : cases) {
        WriteMinimalArchive(WorkDir(), c.withProject);
        RebuildEngine();
        size_t before = Log().size();
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        EXPECT_EQ(gTarvel.Init(gMainWindow, gInstance, cTarvelString()), c.expected) << c.step;
        EXPECT_EQ(gTarvel.mInitialised, c.expected == 0 ? 1 : 0) << c.step;
        std::string log = Log().substr(before);
        EXPECT_EQ(log.find("ERROR:"), std::string::npos) << c.step;
        ASSERT_GE(log.size(), std::string(c.lastLine).size());
        EXPECT_EQ(log.substr(log.size() - std::string(c.lastLine).size()), c.lastLine) << c.step;
    }
}

struct SceneRecord {
    int left = 0;
    int cleared = 0;
    int deleted = 0;
    int initialised = 0;
};

class RecordingScene : public cTarvelScene {
public:
    RecordingScene(SceneRecord* record, int readResult) : mRecord(record), mReadResult(readResult) {}
    ~RecordingScene() override { ++mRecord->deleted; }
    int ReadFile(int, int) override { return mReadResult; }
    void InitObjects(int) override { ++mRecord->initialised; }
    void Leave(int) override { ++mRecord->left; }
    void Clear() override { ++mRecord->cleared; }

    SceneRecord* mRecord;
    int mReadResult;
};

TEST_F(TarvelTest, ChangeSceneReplacesTheSceneAndTakesPendingState)
{
    SceneRecord oldRecord;
    SceneRecord newRecord;
    gTarvel.mScene = new RecordingScene(&oldRecord, 0);
    gTarvel.mSceneName = "hall";
    gTarvel.mPreviousSceneName = "garden";
    gTarvel.mGameState = "day";
    gTarvel.mPendingGameState = "night";
    gTarvel.mPlayer = new cTarvelActor("OFF", "", false);
    gTarvel.mPendingPlayer = new cTarvelActor("OFF", "", false);
    cTarvelActor* pending = gTarvel.mPendingPlayer;
    cTarvelScriptValue pc;
    pc.name = "PC";
    gSharedSymbols.Add(pc);

    auto* scene = new RecordingScene(&newRecord, 0);
    EXPECT_EQ(gTarvel.ChangeScene(scene, 0), 0);
    EXPECT_EQ(oldRecord.left, 1);
    EXPECT_EQ(oldRecord.cleared, 1);
    EXPECT_EQ(oldRecord.deleted, 1);
    EXPECT_EQ(gTarvel.mScene, scene);
    EXPECT_EQ(newRecord.initialised, 1);
    EXPECT_STREQ(gTarvel.mPreviousSceneName.c_str(), "hall");
    EXPECT_STREQ(gTarvel.mGameState.c_str(), "night");
    EXPECT_EQ(gTarvel.mPlayer, pending);
    EXPECT_TRUE(pending->mIsPlayer);
    ASSERT_GT(gSharedSymbols.count, 0);
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(gSharedSymbols.data[0].object, eScriptObjectType::Actor), pending);
    EXPECT_EQ(gTarvel.mPendingPlayer, nullptr);
    gTarvel.Shutdown();
    EXPECT_EQ(newRecord.deleted, 1);
}

TEST_F(TarvelTest, ChangeSceneToAnUnreadableSceneLeavesItCurrent)
{
    SceneRecord record;
    auto* scene = new RecordingScene(&record, -1);
    EXPECT_EQ(gTarvel.ChangeScene(scene, 0), -1);
    EXPECT_EQ(gTarvel.mScene, scene);
    EXPECT_EQ(record.initialised, 0);
    gTarvel.Shutdown();
    EXPECT_EQ(record.deleted, 1);
}

TEST_F(TarvelTest, ChangeSceneToTheCurrentSceneKeepsIt)
{
    SceneRecord record;
    auto* scene = new RecordingScene(&record, 0);
    gTarvel.mScene = scene;
    EXPECT_EQ(gTarvel.ChangeScene(scene, 1), 0);
    EXPECT_EQ(gTarvel.mScene, scene);
    EXPECT_EQ(record.deleted, 0);
    EXPECT_EQ(record.initialised, 1);
}

TEST_F(TarvelTest, ScriptMachinesRegisterAsLive)
{
    auto* script = new cTarvelScript("a");
    cTarvelScript other("b");
    EXPECT_TRUE(gTarvel.IsScriptLive(script));
    EXPECT_TRUE(gTarvel.IsScriptLive(&other));
    delete script;
    EXPECT_FALSE(gTarvel.IsScriptLive(script));
    EXPECT_TRUE(gTarvel.IsScriptLive(&other));
    EXPECT_FALSE(gTarvel.IsScriptLive(nullptr));
}

int gDeleted = 0;

struct CountedControl : cTarvelControl {
    ~CountedControl() override { ++gDeleted; }
};
int gReleasedBeforeDelete = 0;
struct CountedScreenControl : cTarvelScreenControl {
    ~CountedScreenControl() override
    {
        gReleasedBeforeDelete += mReleased ? 1 : 0;
        ++gDeleted;
    }
    void ReleaseResources() override { mReleased = true; }
    bool mReleased = false;
};

TEST_F(TarvelTest, ShutdownDeletesWhatTheMainObjectOwns)
{
    gDeleted = 0;
    gReleasedBeforeDelete = 0;
    InitEngine();
    gActiveControls.Add(new CountedControl);
    gActiveControls.Add(nullptr);
    gScreenControls.Add(new CountedScreenControl);
    // Cinematics push themselves; their handles go stale when they are deleted.
    const uint32_t first =
        gScriptHandles.Bind(new cTarvelCinematic(nullptr, "", nullptr, "OnRun"), eScriptObjectType::Cinematic);
    gCinematics.Add(nullptr);
    const uint32_t second =
        gScriptHandles.Bind(new cTarvelCinematic(nullptr, "", nullptr, "OnRun"), eScriptObjectType::Cinematic);
    gTarvel.mPlayer = new cTarvelActor("OFF", "", false);
    gTarvel.Shutdown();
    EXPECT_EQ(gDeleted, 2);
    EXPECT_EQ(gScriptHandles.Resolve(first, eScriptObjectType::Cinematic), nullptr);
    EXPECT_EQ(gScriptHandles.Resolve(second, eScriptObjectType::Cinematic), nullptr);
    EXPECT_EQ(gReleasedBeforeDelete, 1);
    EXPECT_EQ(gActiveControls.Count(), 0);
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_EQ(gCinematics.Count(), 0);
    EXPECT_EQ(gTarvel.mPlayer, nullptr);
    EXPECT_EQ(gTarvel.mInitialised, 0);
}

TEST_F(TarvelTest, StartReturnsMinusOneWhenInitFails)
{
    WriteMinimalArchive(WorkDir(), false);
    ChildResult child = RunInChild(
        [] { return gTarvel.Start(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL); });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 255);
    std::string log = child.log;
    EXPECT_EQ(log.rfind("-- Tarvel v3.0 runtime started.\nInitializing window...\n"
                        "Initializing Tarvel Engine...\nReading configuration...\n", 0),
              0u)
        << log;
    const std::string end = "Initializing gameplay...\nDestroying Tarvel object...\n"
                            "Destroying window...\n-- Shut down successful.\n";
    ASSERT_GE(log.size(), end.size()) << log;
    EXPECT_EQ(log.substr(log.size() - end.size()), end);
    EXPECT_EQ(log.find("ERROR:"), std::string::npos);
}

} // namespace
