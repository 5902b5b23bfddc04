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
  {
    std::lock_guard lock(g_mutex);
    g_requests.push_back({this, std::move(proc)});
  }
  // Wakes the interface thread's loop: a thread message, for no window.
  PostMessageA(nullptr, WM_NULL, 0, 0);
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
