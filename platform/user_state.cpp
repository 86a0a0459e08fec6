// Per-user state files, kept where the desktop keeps application state and
// replaced atomically, so a crash leaves either the old or the new content.
#include "platform/user_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

constexpr mode_t kPrivateFolder = 0700;  // state is the user's own business
constexpr mode_t kPrivateFile = 0600;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// A plain file name: no folder part, nothing hidden (the temporary files start with '.').
bool PlainName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name[0] != '.' &&
         name.find('\0') == std::string::npos;
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), kPrivateFolder) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool Failed(std::string* error, const std::string& what) {
  if (error != nullptr) *error = what + ": " + std::strerror(errno);
  return false;
}

}  // namespace

std::string StateDirectory() {
  std::string base = Env("XDG_STATE_HOME");
  if (base.empty()) {
    const std::string home = Env("HOME");
    if (home.empty()) return "";
    base = home + "/.local/state";
  }
  return base + "/vq3upd";
}

bool WriteStateFile(const std::string& name, const std::string& content, std::string* error) {
  const std::string folder = StateDirectory();
  if (!PlainName(name) || folder.empty()) {
    if (error != nullptr) {
      *error = folder.empty() ? "no home folder for the state file \"" + name + "\""
                              : "\"" + name + "\" is not a plain file name";
    }
    return false;
  }
  if (!MakeFolders(folder)) return Failed(error, folder);
  const std::string target = folder + "/" + name;
  std::string temp = folder + "/." + name + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Failed(error, temp);
  fchmod(fd, kPrivateFile);
  int failure = 0;
  if (!WriteAll(fd, content) || fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temp.c_str(), target.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temp.c_str());  // nothing half-written stays behind
    errno = failure;
    return Failed(error, target);
  }
  SyncFolder(folder);  // the rename itself reaches the disk
  return true;
}

std::optional<std::string> ReadStateFile(const std::string& name) {
  if (!PlainName(name)) return std::nullopt;
  const std::string folder = StateDirectory();
  if (folder.empty()) return std::nullopt;
  std::ifstream in(folder + "/" + name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

bool RemoveStateFile(const std::string& name) {
  if (!PlainName(name)) return false;
  const std::string folder = StateDirectory();
  if (folder.empty()) return true;
  if (unlink((folder + "/" + name).c_str()) == 0) {
    SyncFolder(folder);
    return true;
  }
  return errno == ENOENT;
}

}  // namespace platform
