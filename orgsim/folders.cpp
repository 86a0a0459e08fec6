#include "orgsim/folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace orgsim {

bool MakeFolders(const std::string& path, mode_t mode, std::string* error) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      if (error) *error = "cannot make folder " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace orgsim
