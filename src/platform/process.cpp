#include "platform/process.h"

namespace platform {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void ConnectOutput() {}

}  // namespace platform
