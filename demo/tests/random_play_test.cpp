// The sample game played by a random player: from a seed, a stretch of game
// time of moves, clicks and double clicks (anywhere, and on the places where
// the menu, its savegame pages, the verbs and the inventory bar answer), keys
// and typed characters, then the window closed. Whatever the player did, the
// engine must end by itself or at the close with code 0, with no sanitizer
// report and within its time, and leave a "lastdemo" the next seed resumes.
//
// CI plays a few short seeds; scripts/random-play plays many, longer:
//   TARVEL_RANDOM_PLAY_SEEDS=<first>:<count>   the seeds (default 1:3)
//   TARVEL_RANDOM_PLAY_MS=<ms>                 game time of each (default 5000)
// A failure names the seeds played; the same seeds play the same input again.
#include <gtest/gtest.h>

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

// Real seconds a run may take in the sanitizer build before it counts as hung.
constexpr int kLimit = 240;
constexpr uint32_t kDefaultGameMs = 5000;

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

// Places that answer a click, in the 1024 x 768 screen: the menu's main page
// items, the savegame pages' icons (OK, cancel, previous, next), the
// confirmation's yes and no, the option sliders, the verb bar's places, the
// inventory bar and its arrows, and the scene's hotspots the walkthrough uses.
struct Spot {
  int x, y;
};
constexpr Spot kSpots[] = {
    {445, 278}, {459, 344}, {463, 308}, {469, 376}, {476, 448},  // main page
    {727, 561}, {727, 490}, {360, 562}, {637, 560},              // slot pages
    {500, 400}, {400, 380}, {530, 410},                          // confirmation
    {350, 215}, {340, 295}, {300, 360},                          // sliders
    {676, 357}, {676, 308}, {605, 358}, {950, 330}, {375, 210},  // verbs, hotspots
    {128, 700}, {128, 640}, {20, 700},  {1004, 700}, {300, 700}, {600, 700},  // inventory
};
// Keys the engine or its pages answer: Escape, Return, Backspace, Space, "H",
// Tab, the arrows, and rarely F8 (a screenshot).
constexpr int kKeys[] = {27, 27, 13, 13, 8, 32, 72, 9, 37, 39};
constexpr int kScreenshotKey = 0x77;
// Typed characters, separators and dots among them (the save page's names).
constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCXYZ0123456789 ._-/\\:";

// Uniform in [0, n): from the generator's bits alone, so a seed gives the
// same input with any standard library.
uint32_t Below(std::mt19937& random, uint32_t n) { return static_cast<uint32_t>(random() % n); }

std::string RandomInput(uint32_t seed, uint32_t gameMs) {
  std::mt19937 random(seed);
  std::string text;
  auto point = [&](int* x, int* y) {
    if (Below(random, 100) < 55) {
      const Spot& s = kSpots[Below(random, std::size(kSpots))];
      *x = s.x + static_cast<int>(Below(random, 25)) - 12;
      *y = s.y + static_cast<int>(Below(random, 25)) - 12;
    } else {
      *x = static_cast<int>(Below(random, 1024));
      *y = static_cast<int>(Below(random, 768));
    }
  };
  // The game's first seconds are its start-up and intro: input then is
  // thrown at them too.
  for (uint32_t t = 500 + Below(random, 500); t < gameMs; t += 40 + Below(random, 600)) {
    const uint32_t kind = Below(random, 100);
    const std::string at = std::to_string(t) + " ";
    int x = 0, y = 0;
    if (kind < 25) {
      point(&x, &y);
      text += at + "move " + std::to_string(x) + " " + std::to_string(y) + "\n";
    } else if (kind < 58) {
      point(&x, &y);
      text += at + "move " + std::to_string(x) + " " + std::to_string(y) + "\n";
      text += std::to_string(t + 20) + " click left " + std::to_string(x) + " " + std::to_string(y) + "\n";
    } else if (kind < 66) {
      point(&x, &y);
      text += at + "dblclick left " + std::to_string(x) + " " + std::to_string(y) + "\n";
    } else if (kind < 82) {
      const int key = Below(random, 200) == 0 ? kScreenshotKey : kKeys[Below(random, std::size(kKeys))];
      text += at + "key " + std::to_string(key) + "\n";
    } else {
      // A burst of typing.
      const uint32_t n = 1 + Below(random, 8);
      for (uint32_t i = 0; i < n; ++i)
        text += std::to_string(t + 30 * i) + " char " + kChars[Below(random, sizeof kChars - 1)] + "\n";
    }
  }
  text += std::to_string(gameMs) + " close\n";
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
    const GameRun run = Play(input, kLimit);
    std::printf("seed %u: %.1f s of real time\n", seed, run.seconds);
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
