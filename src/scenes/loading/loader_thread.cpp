#include "scenes/loading/loader_thread.h"

#include <mutex>

namespace scenes {

namespace {

std::mutex gStopMutex;
bool gStopFlag = false;
LoaderThread* gLoaderThread = nullptr;

std::mutex gFatalMutex;
std::string gFatalMessage;
bool gFatalPending = false;

}  // namespace

bool StopRequested() {
  std::lock_guard<std::mutex> lock(gStopMutex);
  return gStopFlag;
}

void RequestStop() {
  std::lock_guard<std::mutex> lock(gStopMutex);
  gStopFlag = true;
}

void ResetStopFlag() {
  std::lock_guard<std::mutex> lock(gStopMutex);
  gStopFlag = false;
}

void RecordLoaderThread(LoaderThread* thread) { gLoaderThread = thread; }
LoaderThread* RecordedLoaderThread() { return gLoaderThread; }

void RaiseFatalError(const std::string& message) {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  if (gFatalPending) return;  // the first error is the one shown
  gFatalPending = true;
  gFatalMessage = message;
}

bool FatalErrorPending() {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  return gFatalPending;
}

void ClearFatalError() {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  gFatalPending = false;
  gFatalMessage.clear();
}

std::string TakeFatalErrorMessage() {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  return gFatalMessage;
}

}  // namespace scenes
