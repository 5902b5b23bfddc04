#pragma once
// Comparing a drawn frame with a golden PNG beside the tests. Frames come
// through a graphics library, so a channel may be off by 2 and at most
// 0.1 % of the pixels may be off by more. TARVEL_UPDATE_GOLDEN=1 rewrites the
// golden instead (by hand only).
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::testing {

// `rgba` holds width × height pixels, R, G, B, A bytes, top row first.
inline void ExpectMatchesGolden(const std::vector<uint8_t>& rgba, uint32_t width, uint32_t height,
                                const std::filesystem::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  const char* update = std::getenv("TARVEL_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr));
    return;
  }
  png_image golden{};
  golden.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&golden, path.c_str())) << path;
  golden.format = PNG_FORMAT_RGBA;
  ASSERT_EQ(golden.width, width);
  ASSERT_EQ(golden.height, height);
  std::vector<uint8_t> expected(PNG_IMAGE_SIZE(golden));
  ASSERT_TRUE(png_image_finish_read(&golden, nullptr, expected.data(), 0, nullptr));
  ASSERT_EQ(expected.size(), rgba.size());
  size_t off = 0;
  int worst = 0;
  for (size_t i = 0; i < rgba.size(); i += 4) {
    int d = 0;
    for (int c = 0; c < 4; ++c) d = std::max(d, std::abs(int(rgba[i + c]) - int(expected[i + c])));
    if (d > 2) ++off;
    worst = std::max(worst, d);
  }
  EXPECT_LE(off, rgba.size() / 4 / 1000) << path.filename() << ": " << off << " pixels off, worst channel by "
                                          << worst;
}

}  // namespace platform::testing
