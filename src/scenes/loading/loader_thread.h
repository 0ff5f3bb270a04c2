// The background loader thread and what it shares with the shell.
#pragma once

#include <mutex>
#include <string>
#include <utility>

#include "platform/threads.h"

namespace scenes {

// The loading scene starts it and records it in the handshake; the
// window-close step stops and waits for it; the loading scene's hand-over
// clears the record.
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

// What the loading scene shares with the shell, made by the shell for the
// whole run: the stop flag the window-close step sets and the loader reads
// after every job, the record of the running thread, and a fatal error
// raised off the main thread (a model that cannot be loaded), which the
// shell shows in an error box, ending the run with a failure exit code once
// the loader has stopped.
class LoaderHandshake {
 public:
  // The stop flag, under its mutex.
  bool StopRequested() const;
  void RequestStop();
  void ResetStopFlag();
  // The record of the loader thread (main thread only).
  void RecordLoaderThread(LoaderThread* thread) { thread_ = thread; }
  LoaderThread* RecordedLoaderThread() const { return thread_; }
  // The first error raised is the one kept.
  void RaiseFatalError(const std::string& message);
  bool FatalErrorPending() const;
  std::string TakeFatalErrorMessage() const;
  // Forgets a raised error (a new run in the same process: tests).
  void ClearFatalError();

 private:
  mutable std::mutex stopMutex_;
  bool stop_ = false;
  LoaderThread* thread_ = nullptr;
  mutable std::mutex fatalMutex_;
  std::string fatalMessage_;
  bool fatalPending_ = false;
};

}  // namespace scenes
