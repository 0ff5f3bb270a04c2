// Helpers of the file code that every system shares (file_common.cpp); for
// the systems' own file code only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace platform::file_common {

// "256 KiB", "512 MiB", "536870911 bytes (about 512 MiB)" or "100 bytes".
std::string SizeText(std::uint64_t bytes);
// Sets *kind and *error (each when given) and gives false.
bool Refuse(FileError* kind, std::string* error, FileError k, const std::string& message);

}  // namespace platform::file_common
