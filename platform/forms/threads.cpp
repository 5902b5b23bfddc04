#include "platform/forms/threads.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/win32/win32.h"

namespace forms {

namespace {

struct Request {
  const TThread* owner;
  std::function<void()> proc;
};

std::mutex g_mutex;
std::vector<Request> g_requests;

}  // namespace

TThread::TThread(bool createSuspended) {
  if (!createSuspended) Resume();
}

TThread::~TThread() {
  Terminate();
  WaitFor();
  RemoveQueuedEvents();
}

void TThread::Resume() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] {
    Execute();
    finished_ = true;
  });
}

void TThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TThread::Queue(std::function<void()> proc) {
  bool wake = false;
  {
    std::lock_guard lock(g_mutex);
    wake = g_requests.empty();
    g_requests.push_back({this, std::move(proc)});
  }
  // Wakes the interface thread's loop: a thread message, for no window.
  // One wake per batch: the loop runs every waiting request at once, and a
  // worker that outpaces it (a video behind its clock) must not flood the
  // queue with wakes that bury its repaints.
  if (wake) PostMessageA(nullptr, WM_NULL, 0, 0);
}

void TThread::RemoveQueuedEvents() {
  std::lock_guard lock(g_mutex);
  std::erase_if(g_requests, [this](const Request& r) { return r.owner == this; });
}

void TThread::CheckSynchronize() {
  std::vector<Request> due;
  {
    std::lock_guard lock(g_mutex);
    due.swap(g_requests);
  }
  for (Request& r : due) r.proc();
}

}  // namespace forms
