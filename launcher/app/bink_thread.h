// The intro video's thread: decodes the looping video from its memory block
// into a 24-bit frame buffer and asks the paint box to repaint; the paint
// handler copies the newest frame into the paint box's bitmap.
//
// Frames pass between the threads through three buffers: the thread fills
// its own, then swaps it with the shared one; a paint takes the shared one
// when it is newer. Neither side ever touches a buffer the other holds.
// Rows are padded to 4 bytes, the stride the bitmap copy expects.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bink/bink.h"
#include "platform/forms/threads.h"
#include "platform/win32/windows_types.h"

namespace launcher {

class TincaPaintBox;

class TBinkThread : public forms::TThread {
 public:
  // Opens the video from `block` (`size` bytes, kept by the caller for the
  // thread's life). Created suspended; Resume starts it. Opened() tells
  // whether the video opened: without it the thread does nothing.
  TBinkThread(const uint8_t* block, size_t size, TincaPaintBox* paintBox);
  // Stops and joins the thread, then closes the video. Destroy it before
  // the paint box.
  ~TBinkThread() override;

  bool Opened() const { return video_ != nullptr; }
  HBINK Video() const { return video_; }
  int Stride() const { return stride_; }
  // The newest frame into `target` (SetDIBits, no device context).
  void CopyFrame(HBITMAP target);
  // One turn of the thread's loop: false when the frame was not yet due
  // (and it slept 20 ms). Tests that take the clock call it by hand.
  bool Step();

 protected:
  void Execute() override;

 private:
  HBINK video_ = nullptr;
  HWND paintBox_ = nullptr;
  int stride_ = 0;
  BITMAPINFO info_{};
  std::vector<uint8_t> buffers_[3];
  int back_ = 0;   // the thread's
  int front_ = 1;  // the painter's
  // The shared buffer's index, with kNewFrame while the painter has not
  // taken it.
  static constexpr uint8_t kNewFrame = 4;
  std::atomic<uint8_t> middle_{2};
};

}  // namespace launcher
