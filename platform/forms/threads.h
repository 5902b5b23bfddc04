// The framework's thread class: a worker thread created suspended and
// started with Resume, whose requests for the interface thread (a repaint)
// are queued and run by the application's message loop.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace forms {

class TThread {
 public:
  explicit TThread(bool createSuspended);
  // Stops and joins the thread if it still runs. A derived class whose
  // Execute uses its own members must do so in its own destructor.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute on the worker (once).
  void Resume();
  bool Suspended() const { return !started_; }
  // Asks Execute to end; it tests Terminated().
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits until Execute has returned.
  void WaitFor();
  bool Finished() const { return finished_; }

  // Runs `proc` on the interface thread at the application's next message;
  // returns at once. Requests still waiting when the thread object is
  // destroyed are dropped.
  void Queue(std::function<void()> proc);
  // Runs the queued requests: the application's loop calls it.
  static void CheckSynchronize();

 protected:
  virtual void Execute() = 0;

 private:
  void RemoveQueuedEvents();

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool started_ = false;
};

}  // namespace forms
