// Whether the program may start threads of its own, and how background
// threads step aside.
//
// Contract: kThreadsAvailable is true on every back end but the browser
// build, which runs without threads; there, work a thread would do in the
// background is done in slices on the main thread between frames.
// YieldToForeground lowers the calling thread's scheduling priority a little
// (Linux: nice 5 for that thread alone), so that the drawing thread keeps its
// frames while background work fills the cores; elsewhere it does nothing.
#pragma once

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

}  // namespace platform
