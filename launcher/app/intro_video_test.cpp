// The intro video and its paint box: looping without a pause, frames
// copied whole into the bitmap (odd widths padded, rows in order), the
// bitmap following the control's size, the launcher's clear handler
// keeping the last frame, and the thread stopped before its paint box goes.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "launcher/app/bink_thread.h"
#include "launcher/app/paint_box.h"
#include "platform/bink/testing.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/video_writer.h"

namespace launcher {
namespace {

namespace pt = platform::testing;
using forms::Application;

// Frame n: the top row red plus n, every other row VideoFrameColour(n).
uint32_t TopColour(int n) { return 0x000000C8u + uint32_t(n) * 0x010000u; }

testkit::Bytes Video(int width, int height, int frames) {
  testkit::VideoSpec recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.frames = frames;
  recipe.rate = 25;
  recipe.paint = [](int n, testkit::Picture& p) {
    const uint32_t body = testkit::VideoFrameColour(n), top = TopColour(n);
    for (int y = 0; y < p.height; ++y) {
      const uint32_t c = y == 0 ? top : body;
      for (int x = 0; x < p.width; ++x) p.Set(x, y, c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF, 255);
    }
  };
  return testkit::BuildVideo(recipe);
}

// The bitmap's pixel for frame n's colour (B, G, R bytes).
uint32_t Pixel(uint32_t colour) { return colour & 0xFFFFFF; }

class IntroVideoTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ResetBink();
    Application->Reset();
    form_ = new forms::TForm(nullptr);
    form_->SetBounds(0, 0, 200, 100);
    box_ = new TincaPaintBox(form_);
    box_->SetParent(form_);
    box_->SetBounds(0, 0, 20, 10);
  }
  void TearDown() override {
    thread_.reset();  // before the paint box
    delete form_;
    Application->Reset();
    pt::ReleaseClock();
    pt::ResetBink();
    pt::Reset();
    PlatformTest::TearDown();
  }
  // The launcher's handlers: never clear, copy the newest frame.
  void LauncherHandlers() {
    box_->OnClear = [](forms::TObject*, forms::TCanvas&, bool& stop, const forms::TRect&) { stop = true; };
    box_->OnPaint = [this](forms::TObject*, forms::TCanvas&, bool&, const forms::TRect&) {
      thread_->CopyFrame(box_->Bitmap().Handle());
    };
  }
  pt::Picture Shown() {
    form_->Show();
    Application->ProcessMessages();
    return pt::WindowPixels(form_->Handle());
  }
  testkit::Bytes video_;
  forms::TForm* form_ = nullptr;
  TincaPaintBox* box_ = nullptr;
  std::unique_ptr<TBinkThread> thread_;
};

TEST_F(IntroVideoTest, LoopsWithoutAPause) {
  pt::TakeClock(5000);
  video_ = Video(8, 4, 3);
  thread_ = std::make_unique<TBinkThread>(video_.data(), video_.size(), box_);
  ASSERT_TRUE(thread_->Opened());
  struct Shown {
    uint32_t frame, at;
  };
  std::vector<Shown> shown;
  for (int turn = 0; turn < 100 && shown.size() < 7; ++turn) {
    if (thread_->Step()) shown.push_back({thread_->Video()->LastFrameNum, timeGetTime()});
  }
  ASSERT_EQ(shown.size(), 7u);
  const uint32_t order[] = {1, 2, 3, 1, 2, 3, 1};
  for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].frame, order[i]) << i;
  // Frames follow at the video's pace; after the last the first comes at
  // once or within one frame's time, never after a pause.
  EXPECT_EQ(shown[1].at - shown[0].at, 40u);
  EXPECT_EQ(shown[2].at - shown[1].at, 40u);
  EXPECT_LE(shown[3].at - shown[2].at, 40u);
  EXPECT_LE(shown[6].at - shown[5].at, 40u);
}

TEST_F(IntroVideoTest, OddWidthRowsArePaddedAndComeInOrder) {
  pt::TakeClock(5000);
  video_ = Video(5, 3, 2);  // rows of 15 bytes
  thread_ = std::make_unique<TBinkThread>(video_.data(), video_.size(), box_);
  ASSERT_TRUE(thread_->Opened());
  EXPECT_EQ(thread_->Stride(), 16);
  ASSERT_TRUE(thread_->Step());
  forms::TBitmap bitmap(7, 4);
  thread_->CopyFrame(bitmap.Handle());
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(bitmap.PixelAt(x, y), Pixel(y == 0 ? TopColour(0) : testkit::VideoFrameColour(0))) << x << "," << y;
    }
  }
  EXPECT_EQ(bitmap.PixelAt(5, 1), 0u);  // beyond the video: untouched
  EXPECT_EQ(bitmap.PixelAt(0, 3), 0u);
}

TEST_F(IntroVideoTest, BitmapFollowsTheControlsSize) {
  EXPECT_EQ(box_->Bitmap().Width(), 20);
  for (auto [w, h] : {std::pair{400, 400}, std::pair{300, 120}, std::pair{1, 1}}) {
    box_->SetBounds(0, 0, w, h);
    EXPECT_EQ(box_->Bitmap().Width(), w);
    EXPECT_EQ(box_->Bitmap().Height(), h);
  }
  auto* fresh = new TincaPaintBox(form_);
  EXPECT_EQ(fresh->Bitmap().Width(), 100);
  EXPECT_EQ(fresh->Bitmap().Height(), 100);
  EXPECT_EQ(fresh->Color(), forms::clWhite);
}

TEST_F(IntroVideoTest, ClearHandlerKeepsTheLastFrame) {
  pt::TakeClock(5000);
  video_ = Video(5, 3, 3);
  thread_ = std::make_unique<TBinkThread>(video_.data(), video_.size(), box_);
  ASSERT_TRUE(thread_->Opened());
  box_->SetAutoClear(true);
  LauncherHandlers();
  ASSERT_TRUE(thread_->Step());  // its repaint request is run by the loop
  pt::Picture p = Shown();
  EXPECT_EQ(p.At(2, 1), Pixel(testkit::VideoFrameColour(0)));
  EXPECT_EQ(p.At(10, 5), 0u);  // never cleared: the bitmap as it was
  // A paint without a new frame shows the same frame again.
  box_->Invalidate();
  p = Shown();
  EXPECT_EQ(p.At(2, 1), Pixel(testkit::VideoFrameColour(0)));
  while (!thread_->Step()) {
  }
  p = Shown();
  EXPECT_EQ(p.At(2, 1), Pixel(testkit::VideoFrameColour(1)));

  // Without the clear handler, AutoClear fills with Color first.
  box_->OnClear = nullptr;
  box_->Invalidate();
  p = Shown();
  EXPECT_EQ(p.At(10, 5), 0xFFFFFFu);
  EXPECT_EQ(p.At(2, 1), Pixel(testkit::VideoFrameColour(1)));
}

TEST_F(IntroVideoTest, RunningThreadRepaintsAndStopsBeforeItsPaintBoxGoes) {
  // The real clock: the thread runs on its own.
  video_ = Video(5, 3, 2);
  thread_ = std::make_unique<TBinkThread>(video_.data(), video_.size(), box_);
  ASSERT_TRUE(thread_->Opened());
  LauncherHandlers();
  form_->Show();
  EXPECT_TRUE(thread_->Suspended());
  thread_->Resume();
  const uint32_t first = Pixel(testkit::VideoFrameColour(0)), second = Pixel(testkit::VideoFrameColour(1));
  bool painted = false;
  for (int i = 0; i < 2000 && !painted; ++i) {
    Application->ProcessMessages();
    const uint32_t at = pt::WindowPixels(form_->Handle()).At(2, 1);
    painted = at == first || at == second;
    if (!painted) Sleep(1);
  }
  EXPECT_TRUE(painted);
  thread_.reset();
  EXPECT_FALSE(IsWindow(nullptr));
  delete box_;  // after the thread: nothing of it is left to run
  box_ = nullptr;
  Application->ProcessMessages();
}

TEST_F(IntroVideoTest, ABlockThatIsNoVideoStartsNothing) {
  const std::vector<uint8_t> junk(64, 0x5A);
  thread_ = std::make_unique<TBinkThread>(junk.data(), junk.size(), box_);
  EXPECT_FALSE(thread_->Opened());
  EXPECT_FALSE(thread_->Step());
  thread_->Resume();
  thread_.reset();
  thread_ = std::make_unique<TBinkThread>(nullptr, 0, box_);
  EXPECT_FALSE(thread_->Opened());
}

}  // namespace
}  // namespace launcher
