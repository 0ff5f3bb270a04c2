// The background loader thread and what it shares with the shell: the stop
// flag the window-close step sets, the record of the running thread, and a
// fatal error raised off the main thread.
#pragma once

#include <string>
#include <utility>

#include "platform/threads.h"

namespace scenes {

// The loading scene starts it and records it here; the window-close step
// stops and waits for it; the loading scene's hand-over clears the record.
class LoaderThread {
 public:
  template <class F>
  explicit LoaderThread(F&& body) : worker_(std::forward<F>(body)) {}
  LoaderThread(const LoaderThread&) = delete;
  LoaderThread& operator=(const LoaderThread&) = delete;

  bool StillActive() const { return worker_.StillActive(); }
  void Join() { worker_.Join(); }

 private:
  platform::Worker worker_;
};

// The stop flag, under its mutex: set when the window closes during loading,
// read by the loader after every job.
bool StopRequested();
void RequestStop();
void ResetStopFlag();
// The record of the loader thread (main thread only).
void RecordLoaderThread(LoaderThread* thread);
LoaderThread* RecordedLoaderThread();

// A fatal error raised off the main thread (a model that cannot be loaded):
// the shell shows the message in an error box and ends the run with a
// failure exit code once the loader has stopped.
void RaiseFatalError(const std::string& message);
bool FatalErrorPending();
std::string TakeFatalErrorMessage();
// Forgets a raised error (a new run in the same process: tests).
void ClearFatalError();

}  // namespace scenes
