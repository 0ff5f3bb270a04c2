// Whether the program may start threads of its own, and how background
// threads step aside.
//
// Contract: kThreadsAvailable is true on every back end but the browser
// build, which runs without threads; there, work a thread would do in the
// background is done in slices on the main thread between frames.
// YieldToForeground lowers the calling thread's scheduling priority a little
// (Linux: nice 5 for that thread alone), so that the drawing thread keeps its
// frames while background work fills the cores; elsewhere it does nothing.
//
// Worker is a thread of our own running one function: StillActive is true
// until the function has returned, Join (and the destructor) waits for it.
// StartWorker starts one, or gives nullptr when the system has no thread to
// give (and always in the browser build without threads), so the caller
// does the work itself. HardwareThreads is the number of threads the
// machine runs at once (at least 1; 1 in the browser build).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace platform {

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
inline constexpr bool kThreadsAvailable = false;
#else
inline constexpr bool kThreadsAvailable = true;
#endif

inline void YieldToForeground() {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  // On Linux a thread is a process to setpriority: this changes the caller only.
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
#endif
}

class Worker {
 public:
  explicit Worker(std::function<void()> body);
  ~Worker() { Join(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bool StillActive() const { return running_.load(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> running_{false};
  std::thread thread_;
};

std::unique_ptr<Worker> StartWorker(std::function<void()> body);
int HardwareThreads();

}  // namespace platform
