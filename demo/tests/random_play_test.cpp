// The sample game played by a random player: from a seed, a stretch of game
// time of moves, clicks and double clicks (anywhere, and on the places where
// the menu, its savegame pages, the verbs and the inventory bar answer), keys
// and typed characters, then the window closed. Whatever the player did, the
// engine must end by itself or at the close with code 0, with no sanitizer
// report and within its time, and leave a "lastdemo" the next seed resumes.
//
// CI plays a few short seeds; scripts/random-play plays many, longer:
//   TARVEL_RANDOM_PLAY_SEEDS=<first>:<count>   the seeds (default 1:3)
//   TARVEL_RANDOM_PLAY_MS=<ms>                 game time of each (default 3000)
// A failure names the seeds played; the same seeds play the same input again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "demo/tests/game_run.h"
#include "demo/tests/savegame_check.h"
#include "tools/savegame_file.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kDefaultGameMs = 3000;

uint32_t GameMs() {
  const char* text = std::getenv("TARVEL_RANDOM_PLAY_MS");
  const unsigned long ms = text ? std::strtoul(text, nullptr, 10) : 0;
  return ms > 0 && ms < 3600000 ? static_cast<uint32_t>(ms) : kDefaultGameMs;
}

std::vector<uint32_t> Seeds() {
  uint32_t first = 1, count = 3;
  if (const char* text = std::getenv("TARVEL_RANDOM_PLAY_SEEDS")) {
    unsigned long a = 0, b = 0;
    if (std::sscanf(text, "%lu:%lu", &a, &b) == 2 && b > 0 && b < 100000) {
      first = static_cast<uint32_t>(a);
      count = static_cast<uint32_t>(b);
    }
  }
  std::vector<uint32_t> seeds;
  for (uint32_t i = 0; i < count; ++i) seeds.push_back(first + i);
  return seeds;
}

// Places that answer a click, in the 1024 x 768 screen.
struct Spot {
  int x, y;
};
// The menu's main page: close, new game, load page, save page, options, quit.
constexpr Spot kMainPage[] = {{445, 278}, {459, 344}, {463, 308}, {469, 376}, {476, 448}, {470, 420}};
// The pages' own: the savegame pages' OK, cancel, previous and next, the
// confirmation's yes and no, the option sliders.
constexpr Spot kPages[] = {{727, 561}, {727, 490}, {360, 562}, {637, 560}, {500, 400},
                           {400, 380}, {530, 410}, {350, 215}, {340, 295}, {300, 360}};
// The scene: the verbs' places and the hotspots the walkthrough uses.
constexpr Spot kScene[] = {{676, 357}, {676, 308}, {605, 358}, {950, 330}, {375, 210}, {200, 400}};
// The inventory bar: its cells and arrows.
constexpr Spot kInventory[] = {{128, 700}, {128, 640}, {20, 700}, {1004, 700}, {300, 700}, {600, 700}};
// Keys the engine or its pages answer: Escape, Return, Backspace, Space, "H",
// Tab, the arrows; F8 (a screenshot) only now and then.
constexpr int kKeys[] = {27, 27, 13, 13, 8, 32, 72, 9, 37, 39};
constexpr int kScreenshotKey = 0x77;
// Typed characters, separators and dots among them (the save page's names).
// No blank: the input file cannot carry one.
constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCXYZ0123456789._-/\\:";

// Uniform in [0, n): from the generator's bits alone, so a seed gives the
// same input with any standard library.
uint32_t Below(std::mt19937& random, uint32_t n) { return static_cast<uint32_t>(random() % n); }

// The input of one seed: gestures one after the other, each a few events
// (a move, a click, a key, typing, a visit to the menu and its pages, a
// look into the inventory), until `gameMs`, when the window is closed.
std::string RandomInput(uint32_t seed, uint32_t gameMs) {
  std::mt19937 random(seed);
  std::string text;
  uint32_t t = 300 + Below(random, 500);
  auto line = [&](const std::string& event) {
    text += std::to_string(t) + " " + event + "\n";
    t += 30 + Below(random, 400);
  };
  auto near = [&](const Spot* spots, size_t count) {
    const Spot& s = spots[Below(random, static_cast<uint32_t>(count))];
    return std::to_string(s.x + static_cast<int>(Below(random, 25)) - 12) + " " +
           std::to_string(s.y + static_cast<int>(Below(random, 25)) - 12);
  };
  auto anywhere = [&] { return std::to_string(Below(random, 1024)) + " " + std::to_string(Below(random, 768)); };
  auto click = [&](const std::string& at) {
    line("move " + at);
    line((Below(random, 6) == 0 ? "dblclick left " : "click left ") + at);
  };
  auto type = [&] {
    for (uint32_t n = 1 + Below(random, 8); n > 0; --n) line(std::string("char ") + kChars[Below(random, sizeof kChars - 1)]);
  };
  while (t < gameMs) {
    const uint32_t kind = Below(random, 100);
    if (kind < 15) {
      line("move " + anywhere());
    } else if (kind < 35) {
      click(Below(random, 2) ? anywhere() : near(kScene, std::size(kScene)));
    } else if (kind < 45) {
      click(near(kInventory, std::size(kInventory)));
    } else if (kind < 57) {
      line("key " + std::to_string(Below(random, 100) == 0 ? kScreenshotKey : kKeys[Below(random, std::size(kKeys))]));
    } else if (kind < 65) {
      type();
    } else if (kind < 85) {
      // The menu: a page, a few clicks and keys there, typing on the save
      // page, and mostly out again.
      line("key 27");
      click(near(kMainPage, std::size(kMainPage)));
      for (uint32_t n = Below(random, 5); n > 0; --n) {
        const uint32_t what = Below(random, 10);
        if (what < 6) {
          click(near(kPages, std::size(kPages)));
        } else if (what < 8) {
          type();
        } else {
          line("key " + std::to_string(kKeys[Below(random, std::size(kKeys))]));
        }
      }
      if (Below(random, 4) != 0) line("key 27");
      if (Below(random, 2) != 0) line("key 27");
    } else {
      // The inventory: the bar opens under the mouse; an item taken is
      // used on the scene or the bar.
      line("move " + near(kInventory, std::size(kInventory)));
      click(near(kInventory, std::size(kInventory)));
      click(Below(random, 2) ? near(kScene, std::size(kScene)) : near(kInventory, std::size(kInventory)));
    }
  }
  text += std::to_string(std::max(t, gameMs)) + " close\n";
  return text;
}

void ExpectCleanEnd(const GameRun& run, const std::string& what) {
  EXPECT_FALSE(run.timedOut) << what << ": " << run.Describe();
  EXPECT_TRUE(run.exited && run.exitCode == 0) << what << ": " << run.Describe();
  for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
    EXPECT_EQ(run.err.find(report), std::string::npos) << what << ": " << run.Describe();
  }
  EXPECT_NE(run.log.find("-- Shut down successful."), std::string::npos) << what << ": " << run.Describe();
}

class RandomPlayTest : public GameTest {};

// The seeds play one after the other, each resuming the game the one before
// left in "lastdemo" (the first starts a new game): every run after the
// first also loads a savegame made at a random moment.
TEST_F(RandomPlayTest, SeedsPlayInTurnEachResumingTheLast) {
  const uint32_t gameMs = GameMs();
  // Real seconds a run may take in the sanitizer build before it counts as
  // hung: the start, then a frame of game time can take a good deal more
  // than its own time on a loaded machine.
  const int limit = 240 + static_cast<int>(gameMs / 1000) * 30;
  std::string played;
  for (const uint32_t seed : Seeds()) {
    played += (played.empty() ? "" : ",") + std::to_string(seed);
    const std::string what = "seeds " + played + " (each " + std::to_string(gameMs) + " ms)";
    const std::string input = work_ + "/random-" + std::to_string(seed) + ".input";
    {
      std::ofstream out(input);
      out << RandomInput(seed, gameMs);
    }
    const bool resumed = fs::exists(Lastdemo());
    const GameRun run = Play(input, limit);
    // What the player reached, for whoever reads the output.
    auto framesUsing = [&](const char* technique) {
      return std::count_if(run.frames.begin(), run.frames.end(), [&](const Frame& f) { return f.Uses(technique); });
    };
    std::printf("seed %u: %.1f s of real time, %zu frames: %td with the menu's savegame pages, %td with the "
                "inventory bar\n",
                seed, run.seconds, run.frames.size(), framesUsing("ui_polaroid") + framesUsing("ui_thumbnail"),
                framesUsing("ui_invbar"));
    ExpectCleanEnd(run, what);
    // A "lastdemo" the game could not resume would have been kept aside.
    EXPECT_FALSE(resumed && fs::exists(Lastdemo().string() + ".refused")) << what << "\n" << run.log;
    testkit::SavegameContents lastdemo;
    ASSERT_TRUE(ReadSavegameFile(Lastdemo(), &lastdemo)) << what;
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace demo
