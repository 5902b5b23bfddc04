// Golden pictures beside the tests (golden/<name>.png), compared exactly.
// On a mismatch the actual picture and a difference picture go into the
// build folder, and the first differing pixel and the count are named.
// TARVEL_UPDATE_GOLDEN=1 rewrites the goldens instead (by hand only; look
// at every one before committing it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/testing.h"

namespace skin::testing {

inline ::testing::AssertionResult MatchesGolden(const platform::testing::Picture& actual, const std::string& name) {
  namespace pt = platform::testing;
  const std::string golden = std::string(TARVEL_GOLDEN_DIR) + "/" + name + ".png";
  const char* update = std::getenv("TARVEL_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    if (!pt::SavePng(actual, golden)) return ::testing::AssertionFailure() << "cannot write " << golden;
    return ::testing::AssertionSuccess() << "rewrote " << golden;
  }
  pt::Picture expected;
  const std::string out = std::string(TARVEL_GOLDEN_OUT) + "/" + name;
  if (!pt::LoadPng(golden, &expected)) {
    pt::SavePng(actual, out + ".actual.png");
    return ::testing::AssertionFailure() << "no golden " << golden << "; actual in " << out << ".actual.png";
  }
  if (expected.width != actual.width || expected.height != actual.height) {
    pt::SavePng(actual, out + ".actual.png");
    return ::testing::AssertionFailure() << name << ": size " << actual.width << "x" << actual.height << ", golden "
                                         << expected.width << "x" << expected.height;
  }
  size_t count = 0;
  int fx = -1, fy = -1;
  pt::Picture diff = actual;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      bool same = actual.At(x, y) == expected.At(x, y);
      diff.pixels[static_cast<size_t>(y) * actual.width + x] = same ? 0x000000 : 0xFF0000;
      if (!same && count++ == 0) fx = x, fy = y;
    }
  }
  if (count == 0) return ::testing::AssertionSuccess();
  pt::SavePng(actual, out + ".actual.png");
  pt::SavePng(diff, out + ".diff.png");
  return ::testing::AssertionFailure() << name << ": " << count << " pixels differ, the first at (" << fx << ", " << fy
                                       << "): 0x" << std::hex << actual.At(fx, fy) << " instead of 0x"
                                       << expected.At(fx, fy) << "; see " << out << ".actual.png and .diff.png";
}

}  // namespace skin::testing
