// Videos opened from a memory block (nothing past the block is read, even
// when the container claims more) and copied to 24-bit surfaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/bink/bink.h"
#include "platform/bink/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "tools/video_writer.h"

namespace {

using namespace platform::testing;

class BinkMemoryTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ResetBink();
    TakeClock(1000);
  }
  void TearDown() override {
    ReleaseClock();
    ResetBink();
    PlatformTest::TearDown();
  }
};

TEST_F(BinkMemoryTest, OpensFromMemoryAndCopiesTwentyFourBitRows) {
  testkit::VideoSpec recipe;
  recipe.width = 5;  // rows of 15 bytes: the pitch given is what counts
  recipe.height = 3;
  recipe.frames = 3;
  const testkit::Bytes video = testkit::BuildVideo(recipe);
  ASSERT_FALSE(video.empty());
  EXPECT_EQ(BinkOpen(reinterpret_cast<const char*>(video.data()), BINKFROMMEMORY), nullptr);  // no size
  BinkSetMemorySize(video.size());
  HBINK b = BinkOpen(reinterpret_cast<const char*>(video.data()), BINKFROMMEMORY);
  ASSERT_NE(b, nullptr) << BinkGetError();
  EXPECT_EQ(b->Width, 5u);
  EXPECT_EQ(b->Frames, 3u);
  BinkGoto(b, 2, 0);
  ASSERT_EQ(BinkDoFrame(b), 0);
  constexpr int kPitch = 16;
  std::vector<uint8_t> rows(kPitch * 3, 0xEE);
  ASSERT_EQ(BinkCopyToBuffer(b, rows.data(), kPitch, 3, 0, 0, BINKSURFACE24), 0);
  const uint32_t c = testkit::VideoFrameColour(1);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      const uint8_t* p = &rows[size_t(y * kPitch + x * 3)];
      EXPECT_EQ(p[0], c & 0xFF);
      EXPECT_EQ(p[1], c >> 8 & 0xFF);
      EXPECT_EQ(p[2], c >> 16 & 0xFF);
    }
    EXPECT_EQ(rows[size_t(y * kPitch + 15)], 0xEE);  // the padding stays
  }
  // A pitch narrower than one pixel, or a column where no pixel fits,
  // writes nothing; a place beyond the row is refused.
  std::vector<uint8_t> spare(kPitch * 3, 0xEE);
  BinkCopyToBuffer(b, spare.data(), 2, 3, 0, 0, BINKSURFACE24);
  BinkCopyToBuffer(b, spare.data(), kPitch, 3, 5, 0, BINKSURFACE24);
  EXPECT_EQ(BinkCopyToBuffer(b, spare.data(), kPitch, 3, 6, 0, BINKSURFACE24), 1);
  EXPECT_EQ(spare, std::vector<uint8_t>(kPitch * 3, 0xEE));
  BinkClose(b);
}

TEST_F(BinkMemoryTest, ABlockShorterThanItsVideoIsNotReadPast) {
  testkit::VideoSpec recipe;
  recipe.frames = 4;
  const testkit::Bytes video = testkit::BuildVideo(recipe);
  ASSERT_GT(video.size(), 200u);
  // Exactly sized copies, so the sanitizer sees any read past them.
  for (size_t size : {size_t(8), size_t(60), video.size() / 2, video.size() - 1}) {
    std::vector<uint8_t> block(video.begin(), video.begin() + ptrdiff_t(size));
    BinkSetMemorySize(block.size());
    HBINK b = BinkOpen(reinterpret_cast<const char*>(block.data()), BINKFROMMEMORY);
    if (b) {
      for (uint32_t i = 0; i < b->Frames; ++i) {
        BinkDoFrame(b);
        BinkNextFrame(b);
      }
      BinkClose(b);
    }
  }
}

}  // namespace
