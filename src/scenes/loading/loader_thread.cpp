#include "scenes/loading/loader_thread.h"

namespace scenes {

bool LoaderHandshake::StopRequested() const {
  std::lock_guard<std::mutex> lock(stopMutex_);
  return stop_;
}

void LoaderHandshake::RequestStop() {
  std::lock_guard<std::mutex> lock(stopMutex_);
  stop_ = true;
}

void LoaderHandshake::ResetStopFlag() {
  std::lock_guard<std::mutex> lock(stopMutex_);
  stop_ = false;
}

void LoaderHandshake::RaiseFatalError(const std::string& message) {
  std::lock_guard<std::mutex> lock(fatalMutex_);
  if (fatalPending_) return;  // the first error is the one shown
  fatalPending_ = true;
  fatalMessage_ = message;
}

bool LoaderHandshake::FatalErrorPending() const {
  std::lock_guard<std::mutex> lock(fatalMutex_);
  return fatalPending_;
}

void LoaderHandshake::ClearFatalError() {
  std::lock_guard<std::mutex> lock(fatalMutex_);
  fatalPending_ = false;
  fatalMessage_.clear();
}

std::string LoaderHandshake::TakeFatalErrorMessage() const {
  std::lock_guard<std::mutex> lock(fatalMutex_);
  return fatalMessage_;
}

}  // namespace scenes
