// The same play twice on the test clock: the same trace and the same frames,
// and the key frames of the second match the golden pictures under
// golden/ (README.md there says how to make them again).
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <string>
#include <vector>

#include "demo/tests/game_run.h"
#include "platform/d3d9/golden_test_support.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

constexpr int kLimit = 240;

// Frames of the walkthrough (the first presented frame is 1), each with a
// technique it must draw with, so that a table left behind by a changed
// game fails by name rather than by pixels.
struct KeyFrame {
  const char* name;  // golden/<name>.png
  int frame;
  const char* technique;
};
const KeyFrame kKeyFrames[] = {
    {"yard_first_frame", 2, "scenery_unlit"},
    {"yard_player_mid_walk", 50, "scenery_unlit"},     // the intro's walk: legs apart, facing the way
    {"subtitle_pc_intro", 150, "text_basic"},           // the start cinematic's line
    {"shed_first_frame", 684, "scenery_unlit"},
    {"inventory_open_key_verbs", 880, "ui_invitem"},    // the key's verb bar over the inventory
    {"menu_save_page", 1300, "ui_polaroid"},            // the name being typed
};

std::vector<uint8_t> ReadRgba(const fs::path& path, uint32_t* width, uint32_t* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
  *width = image.width;
  *height = image.height;
  return rgba;
}

class KeyFramesTest : public GameTest {};

TEST_F(KeyFramesTest, SamePlayTwiceGivesTheSameTraceAndFramesAndTheGoldenKeyFrames) {
  const GameRun first = Play(Walkthrough(), kLimit);
  ASSERT_TRUE(first.exited && first.exitCode == 0) << first.Describe();
  fs::remove_all(SavegameFolder());

  std::string list;
  for (const KeyFrame& k : kKeyFrames) list += (list.empty() ? "" : ",") + std::to_string(k.frame);
  const std::string shots = work_ + "/shots";
  fs::create_directories(shots);
  const GameRun second =
      Play(Walkthrough(), kLimit, {"TARVEL_SCREENSHOTS=" + list, "TARVEL_SCREENSHOT_DIR=" + shots});
  ASSERT_TRUE(second.exited && second.exitCode == 0) << second.Describe();

  ASSERT_GT(first.calls.size(), 20u);
  EXPECT_EQ(first.trace, second.trace);
  ASSERT_EQ(first.frames.size(), second.frames.size());
  for (size_t i = 0; i < first.frames.size(); ++i) {
    const Frame &a = first.frames[i], &b = second.frames[i];
    ASSERT_TRUE(a.number == b.number && a.draws == b.draws && a.techniques == b.techniques)
        << "frame " << a.number << " differs between the two plays";
  }

  for (const KeyFrame& k : kKeyFrames) {
    SCOPED_TRACE(k.name);
    ASSERT_LE(k.frame, static_cast<int>(second.frames.size())) << "the play has fewer frames";
    EXPECT_TRUE(second.frames[k.frame - 1].Uses(k.technique))
        << "frame " << k.frame << " does not draw with " << k.technique << ": the table is stale";
    uint32_t width = 0, height = 0;
    const std::vector<uint8_t> rgba = ReadRgba(shots + "/frame-" + std::to_string(k.frame) + ".png", &width, &height);
    ASSERT_FALSE(rgba.empty()) << "no screenshot of frame " << k.frame;
    fs::copy_file(shots + "/frame-" + std::to_string(k.frame) + ".png",
                  fs::path(TARVEL_GOLDEN_OUT) / (std::string(k.name) + ".png"), fs::copy_options::overwrite_existing);
    platform::testing::ExpectMatchesGolden(rgba, width, height,
                                           fs::path(TARVEL_GOLDEN_DIR) / (std::string(k.name) + ".png"));
  }
}

}  // namespace
}  // namespace demo
