// Whether the program may start threads of its own.
//
// Contract: kThreadsAvailable is true on every back end but the browser
// build, which runs without threads; there, work a thread would do in the
// background is done in slices on the main thread between frames.
#pragma once

namespace platform {

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
inline constexpr bool kThreadsAvailable = false;
#else
inline constexpr bool kThreadsAvailable = true;
#endif

}  // namespace platform
