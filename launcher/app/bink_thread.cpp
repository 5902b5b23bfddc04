#include "launcher/app/bink_thread.h"

#include "launcher/app/paint_box.h"
#include "platform/win32/dc.h"
#include "platform/win32/win32.h"

namespace launcher {

TBinkThread::TBinkThread(const uint8_t* block, size_t size, TincaPaintBox* paintBox) : forms::TThread(true) {
  paintBox_ = paintBox ? paintBox->Handle() : nullptr;
  if (!block || size == 0) return;
  BinkSetMemorySize(size);
  video_ = BinkOpen(reinterpret_cast<const char*>(block), BINKFROMMEMORY);
  if (!video_) return;
  const int width = static_cast<int>(video_->Width), height = static_cast<int>(video_->Height);
  stride_ = (width * 3 + 3) / 4 * 4;
  for (auto& b : buffers_) b.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height), 0);
  BITMAPINFOHEADER& h = info_.bmiHeader;
  h.biSize = sizeof(BITMAPINFO);
  h.biWidth = width;
  // Top-down: the video's rows come first row first.
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
}

TBinkThread::~TBinkThread() {
  Terminate();
  WaitFor();
  if (video_) BinkClose(video_);
}

void TBinkThread::Execute() {
  if (!video_) return;
  while (!Terminated()) Step();
}

bool TBinkThread::Step() {
  if (!video_) return false;
  if (BinkWait(video_)) {
    Sleep(20);
    return false;
  }
  BinkDoFrame(video_);
  BinkCopyToBuffer(video_, buffers_[back_].data(), stride_, video_->Height, 0, 0, BINKSURFACE24);
  back_ = middle_.exchange(static_cast<uint8_t>(back_ | kNewFrame)) & 3;
  HWND box = paintBox_;
  Queue([box] {
    // The paint box may be gone by now.
    if (box && IsWindow(box)) InvalidateRect(box, nullptr, FALSE);
  });
  if (video_->FrameNum == video_->Frames) {
    BinkGoto(video_, 0, 0);
  } else {
    BinkNextFrame(video_);
  }
  return true;
}

void TBinkThread::CopyFrame(HBITMAP target) {
  if (!video_) return;
  if (middle_.load() & kNewFrame) front_ = middle_.exchange(static_cast<uint8_t>(front_)) & 3;
  SetDIBits(nullptr, target, 0, video_->Height, buffers_[front_].data(), &info_, DIB_RGB_COLORS);
}

}  // namespace launcher
