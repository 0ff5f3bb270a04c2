#include "media/load_report.h"

#include <cstdio>
#include <string_view>

namespace media {

void ReportFailedLoad(const char* what, const std::string& path, const std::string& reason) {
  // The readers name the file in their reasons; the line names it once.
  std::string_view why = reason;
  for (const std::string& named : {"cannot read " + path + ": ", path + ": "}) {
    if (why.starts_with(named) && why.size() > named.size()) why.remove_prefix(named.size());
  }
  if (why.empty()) why = "unknown reason";
  std::fprintf(stderr, "poromeko: cannot load %s %s: %.*s\n", what, path.c_str(),
               static_cast<int>(why.size()), why.data());
}

}  // namespace media
