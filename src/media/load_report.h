// How a content file that cannot be loaded is reported: one line on standard
// error naming what it is, the file and why, the same for textures, models
// and sounds. The game goes on without it where it can.
#pragma once

#include <string>

namespace media {

// "poromeko: cannot load <what> <path>: <reason>", the file named once even
// when the reason names it too.
void ReportFailedLoad(const char* what, const std::string& path, const std::string& reason);

}  // namespace media
