// The sample game played end to end by the engine of this build: a new game
// by the walkthrough (with a save and a load on the way), the game resumed
// from the "lastdemo" it wrote, and a new game after a "lastdemo" was
// damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/tests/game_run.h"
#include "demo/tests/savegame_check.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "tools/savegame_file.h"

namespace demo {
namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

// Real seconds a run may take in the sanitizer build before it counts as hung.
constexpr int kLimit = 240;

// What the walkthrough plays, as the trace shows it ("project" is the
// machine of the "Main" script).
const std::vector<Step> kNewGame = {
    {"a new game opens the yard", "project", "cSystem__gotoScene", "\"Yard\""},
    {"the start cinematic walks the player in", "project", "cActor__walkTo", ""},
    {"the player's first line", "project", "cActor__say", "\"pc_intro\""},
    {"the full-screen video", "project", "cSystem__showVideo", "\"intro\""},
    {"the start cinematic ends", "project", "cCinematic__exit", ""},
    {"the key's verb", "Yard", "cHotspot__addVerb", "\"take\""},
    {"the key is taken", "Yard", "cSystem__addToInventory", "\"Key\""},
    {"the exit to the shed", "Yard", "cSystem__gotoScene", "\"Shed\""},
    {"the shed opens", "Shed", "cHotspot__init", "\"Chest\""},
    {"the key's verb in the inventory", "Key", "cInventoryItem__addVerb", "\"use\""},
    {"the key used on the chest", "Shed", "cSystem__isItemSelected", "\"Key\""},
    {"the chest's line", "Shed", "cActor__say", "\"pc_chest\""},
    {"the load makes the player again", "PC", "cMobile__loadMesh", "\"PC\""},
    {"and the key in the inventory", "Key", "cInventoryItem__putName", "\"Key\""},
    {"the bell's last line", "Shed", "cActor__say", "\"pc_bye\""},
    {"the quit", "Shed", "cSystem__quitGame", ""},
};
// The name the walkthrough types on the save page, the scene and the state
// of the game then.
constexpr const char* kSaveName = "chest";
constexpr const char* kSavedScene = "Shed";
constexpr const char* kGameState = "day";
// How far the play went, as "Main" records it.
constexpr const char* kProgressVariable = "Progress";
constexpr const char* kSavedProgress = "2";
constexpr const char* kFinalProgress = "3";
// What the resumed game plays by itself before it quits: the player and the
// inventory as saved, then the closing sequence.
const std::vector<Step> kResumed = {
    {"the player made from lastdemo", "PC", "cMobile__loadMesh", "\"PC\""},
    {"the key in the inventory", "Key", "cInventoryItem__putName", "\"Key\""},
    {"the closing sequence", "Shed", "cCinematic__run", ""},
    {"the closing line", "Shed", "cActor__say", "\"pc_closing\""},
    {"the quit", "Shed", "cSystem__quitGame", ""},
};
// The techniques of the verb bar's icons (the menu draws its buttons with
// them too) and of the menu's pages.
const std::vector<std::string> kVerbIcons = {"ui_vericon", "ui_vericonbw"};
const std::vector<std::string> kMenu = {"ui_polaroid"};
// The walkthrough opens the menu twice: to save, then to load.
constexpr size_t kMenuOpenings = 2;

// What a script function that is not built yet says on standard error.
constexpr const char* kStandIn = "is not built yet";

bool UsesAny(const Frame& frame, const std::vector<std::string>& techniques) {
  return std::any_of(techniques.begin(), techniques.end(), [&](const std::string& t) { return frame.Uses(t); });
}

// The runs of consecutive frames that use any of the techniques, as
// [first, last] frame numbers.
std::vector<std::pair<int, int>> Spans(const std::vector<Frame>& frames, const std::vector<std::string>& techniques) {
  std::vector<std::pair<int, int>> spans;
  for (const Frame& f : frames) {
    if (!UsesAny(f, techniques)) continue;
    if (!spans.empty() && spans.back().second == f.number - 1) {
      spans.back().second = f.number;
    } else {
      spans.push_back({f.number, f.number});
    }
  }
  return spans;
}

void ExpectCleanQuit(const GameRun& run) {
  EXPECT_TRUE(run.exited && run.exitCode == 0) << run.Describe();
  EXPECT_EQ(run.err.find(kStandIn), std::string::npos) << "a script function stand-in ran:\n" << run.err;
  EXPECT_NE(run.log.find("-- Shut down successful."), std::string::npos) << run.Describe();
}

class PlayTest : public GameTest {};

TEST_F(PlayTest, WalkthroughSavesLoadsAndQuitsThenTheGameResumesFromLastdemo) {
  const GameRun first = Play(Walkthrough(), kLimit);
  ExpectCleanQuit(first);
  ExpectSteps(first.calls, kNewGame);

  // The savegame the walkthrough made, with its picture.
  std::vector<fs::path> saved;
  for (const auto& entry : fs::directory_iterator(SavegameFolder())) {
    if (entry.path().extension() == ".demogame") saved.push_back(entry.path());
  }
  ASSERT_EQ(saved.size(), 1u) << "savegames in " << SavegameFolder();
  EXPECT_EQ(saved[0].stem(), kSaveName);
  pt::Picture picture;
  ASSERT_TRUE(pt::LoadPng(fs::path(saved[0]).replace_extension(".png").string(), &picture))
      << "no picture beside " << saved[0];
  EXPECT_GT(picture.width, 0);
  EXPECT_GT(picture.height, 0);
  EXPECT_NE(std::count(picture.pixels.begin(), picture.pixels.end(), picture.pixels[0]),
            static_cast<std::ptrdiff_t>(picture.pixels.size()))
      << "the savegame's picture is a single colour";
  testkit::SavegameContents save;
  ASSERT_TRUE(ReadSavegameFile(saved[0], &save));
  ASSERT_TRUE(save.hasHeader);
  EXPECT_EQ(save.header.player, "PC");
  EXPECT_EQ(save.header.scene, kSavedScene);
  EXPECT_EQ(save.header.state, kGameState);
  EXPECT_EQ(SharedVariable(save.xml, kProgressVariable), kSavedProgress);

  // The quit wrote "lastdemo": the game as it ended.
  testkit::SavegameContents last;
  ASSERT_TRUE(ReadSavegameFile(Lastdemo(), &last));
  ASSERT_TRUE(last.hasHeader);
  EXPECT_EQ(last.header.player, "PC");
  EXPECT_EQ(last.header.scene, kSavedScene);
  EXPECT_EQ(SharedVariable(last.xml, kProgressVariable), kFinalProgress);
  // The load brought back what was saved (the trace shows it make the player
  // and the item again): the play went on from it.
  EXPECT_EQ(InventoryItems(save.xml), std::vector<std::string>{"Key"});
  EXPECT_EQ(InventoryItems(last.xml), InventoryItems(save.xml));

  // The verb bar and the menu were drawn while they were open, and only then.
  ASSERT_FALSE(first.frames.empty()) << "no frame reported";
  std::vector<Frame> outsideMenu;
  for (const Frame& f : first.frames) {
    if (!UsesAny(f, kMenu)) outsideMenu.push_back(f);
  }
  const auto verbs = Spans(outsideMenu, kVerbIcons);
  const auto menu = Spans(first.frames, kMenu);
  ASSERT_FALSE(verbs.empty()) << "no frame shows the verb bar";
  EXPECT_EQ(menu.size(), kMenuOpenings) << "openings of the menu";
  ASSERT_FALSE(menu.empty());
  EXPECT_GT(verbs.front().first, 1);
  EXPECT_LT(verbs.front().first, menu.front().first) << "the verbs come before the menu in the walkthrough";
  EXPECT_LT(menu.back().second, first.frames.back().number) << "the menu was still shown at the end";
  for (const auto& [from, to] : verbs) {
    EXPECT_LT(to, first.frames.back().number) << "the verb bar opened at frame " << from << " never closed";
  }

  // The second run resumes from "lastdemo" and plays the closing by itself.
  const GameRun second = Play("", kLimit);
  ExpectCleanQuit(second);
  EXPECT_FALSE(Calls(second.calls, "project", "cSystem__gotoScene")) << "Main::Start ran:\n" << second.trace;
  EXPECT_EQ(second.trace.find("\"pc_intro\""), std::string::npos) << "the start cinematic ran";
  ExpectSteps(second.calls, kResumed);
  testkit::SavegameContents resumed;
  ASSERT_TRUE(ReadSavegameFile(Lastdemo(), &resumed));
  EXPECT_EQ(resumed.header.scene, kSavedScene);
  EXPECT_EQ(InventoryItems(resumed.xml), InventoryItems(last.xml));
}

// The start-up load refuses a damaged "lastdemo" and a new game starts; the
// quit then writes a good one.
TEST_F(PlayTest, DamagedLastdemoStartsANewGame) {
  // A real "lastdemo": a new game closed as soon as its first scene is open.
  const std::string close = CloseAt(work_, 2000);
  const GameRun made = Play(close, kLimit);
  ExpectCleanQuit(made);
  std::ifstream in(Lastdemo(), std::ios::binary);
  const std::vector<char> good{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(good.size(), testkit::kSavegameLengthOffset + 16);

  struct Damage {
    const char* what;
    std::vector<char> (*make)(std::vector<char>);
  };
  const Damage damages[] = {
      {"truncated in the stream", [](std::vector<char> b) { b.resize(b.size() / 2); return b; }},
      {"a wrong header", [](std::vector<char> b) { b[0] = 'x'; b[2] = 'x'; return b; }},
      {"flipped bytes in the stream",
       [](std::vector<char> b) {
         for (size_t i = testkit::kSavegameLengthOffset + 4; i < b.size(); i += 7) b[i] = static_cast<char>(~b[i]);
         return b;
       }},
  };
  // Each refused "lastdemo" is kept beside the new one, none overwritten.
  const std::vector<std::string> kept = {".refused", ".refused.2", ".refused.3"};
  for (size_t i = 0; i < std::size(damages); ++i) {
    const Damage& damage = damages[i];
    SCOPED_TRACE(damage.what);
    const std::vector<char> bad = damage.make(good);
    {
      std::ofstream out(Lastdemo(), std::ios::binary | std::ios::trunc);
      out.write(bad.data(), static_cast<std::streamsize>(bad.size()));
    }
    const GameRun run = Play(close, kLimit);
    ExpectCleanQuit(run);
    std::ifstream keptFile(Lastdemo().string() + kept[i], std::ios::binary);
    EXPECT_EQ(std::vector<char>(std::istreambuf_iterator<char>(keptFile), std::istreambuf_iterator<char>()), bad);
    ExpectSteps(run.calls, {kNewGame[0]});
    testkit::SavegameContents written;
    ASSERT_TRUE(ReadSavegameFile(Lastdemo(), &written));
    EXPECT_EQ(written.header.player, "PC");
  }
}

}  // namespace
}  // namespace demo
