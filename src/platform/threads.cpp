#include "platform/threads.h"

#include <system_error>

namespace platform {

Worker::Worker(std::function<void()> body) {
  running_ = true;
  thread_ = std::thread([this, body = std::move(body)] {
    body();
    running_ = false;
  });
}

std::unique_ptr<Worker> StartWorker(std::function<void()> body) {
  if (!kThreadsAvailable) return nullptr;
  try {
    return std::make_unique<Worker>(std::move(body));
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had
  }
}

int HardwareThreads() {
  if (!kThreadsAvailable) return 1;
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace platform
