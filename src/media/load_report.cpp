#include "media/load_report.h"

#include <cstdio>

namespace media {

void ReportFailedLoad(const char* what, const std::string& path, const std::string& reason) {
  std::fprintf(stderr, "poromeko: cannot load %s %s: %s\n", what, path.c_str(),
               reason.empty() ? "unknown reason" : reason.c_str());
}

}  // namespace media
