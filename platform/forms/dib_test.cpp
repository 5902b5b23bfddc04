// SetDIBits into the framework's bitmaps: row order by the sign of the
// height, rows padded to 4 bytes, 24 and 32 bits, and refused headers.
#include <gtest/gtest.h>

#include <vector>

#include "platform/forms/graphics.h"
#include "platform/win32/dc.h"
#include "platform/win32/test_support.h"
#include "platform/win32/win32.h"

namespace forms {
namespace {

class DibTest : public platform::testing::PlatformTest {};

BITMAPINFO Info(int width, int height, int bits, DWORD size = sizeof(BITMAPINFO)) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = size;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

TEST_F(DibTest, BottomUpOddWidthRowsArePadded) {
  // 3 x 2 at 24 bits: rows of 9 bytes padded to 12, the bottom row first.
  const std::vector<uint8_t> bits = {
      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xEE, 0xEE, 0xEE,  // bottom
      0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0xEE, 0xEE, 0xEE,  // top
  };
  TBitmap bitmap(3, 2);
  const BITMAPINFO info = Info(3, 2, 24);  // a 44-byte description
  EXPECT_EQ(sizeof(BITMAPINFO), 44u);
  ASSERT_EQ(SetDIBits(nullptr, bitmap.Handle(), 0, 2, bits.data(), &info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(bitmap.PixelAt(0, 0), 0x131211u);
  EXPECT_EQ(bitmap.PixelAt(2, 0), 0x191817u);
  EXPECT_EQ(bitmap.PixelAt(0, 1), 0x030201u);
  EXPECT_EQ(bitmap.PixelAt(2, 1), 0x090807u);
}

TEST_F(DibTest, TopDownThirtyTwoBitsAndWhatDoesNotFit) {
  // 2 x 2 top-down at 32 bits into a 1 x 3 bitmap: the first column of
  // both rows, nothing beyond the bitmap.
  const std::vector<uint32_t> bits = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC};
  TBitmap bitmap(1, 3);
  bitmap.Bits()[2] = 0x123456;
  const BITMAPINFO info = Info(2, -2, 32, sizeof(BITMAPINFOHEADER));
  ASSERT_EQ(SetDIBits(nullptr, bitmap.Handle(), 0, 2, bits.data(), &info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(bitmap.PixelAt(0, 0), 0x112233u);
  EXPECT_EQ(bitmap.PixelAt(0, 1), 0x778899u);
  EXPECT_EQ(bitmap.PixelAt(0, 2), 0x123456u);
  // Lines past the image's height are not read.
  EXPECT_EQ(SetDIBits(nullptr, bitmap.Handle(), 1, 5, bits.data(), &info, DIB_RGB_COLORS), 1);
}

TEST_F(DibTest, BadDescriptionsAndHandlesAreRefused) {
  const std::vector<uint8_t> bits(64, 0);
  TBitmap bitmap(2, 2);
  const BITMAPINFO good = Info(2, 2, 24);
  struct Case {
    const char* what;
    BITMAPINFO info;
  } cases[] = {
      {"short header", Info(2, 2, 24, 12)}, {"8 bits", Info(2, 2, 8)}, {"no width", Info(0, 2, 24)},
      {"no height", Info(2, 0, 24)},         {"two planes", [] { BITMAPINFO i = Info(2, 2, 24); i.bmiHeader.biPlanes = 2; return i; }()},
      {"compressed", [] { BITMAPINFO i = Info(2, 2, 24); i.bmiHeader.biCompression = 1; return i; }()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SetDIBits(nullptr, bitmap.Handle(), 0, 2, bits.data(), &c.info, DIB_RGB_COLORS), 0) << c.what;
  }
  EXPECT_EQ(SetDIBits(nullptr, nullptr, 0, 2, bits.data(), &good, DIB_RGB_COLORS), 0);
  EXPECT_EQ(SetDIBits(nullptr, bitmap.Handle(), 0, 2, nullptr, &good, DIB_RGB_COLORS), 0);
  EXPECT_EQ(SetDIBits(nullptr, bitmap.Handle(), 0, 2, bits.data(), &good, 1), 0);
  // The handle is the bitmap's own surface, and it goes with the bitmap.
  EXPECT_EQ(platform::SurfaceBitmap(bitmap.Canvas().Handle()), bitmap.Handle());
  HBITMAP gone;
  {
    TBitmap temporary(2, 2);
    gone = temporary.Handle();
  }
  EXPECT_EQ(SetDIBits(nullptr, gone, 0, 2, bits.data(), &good, DIB_RGB_COLORS), 0);
}

}  // namespace
}  // namespace forms
