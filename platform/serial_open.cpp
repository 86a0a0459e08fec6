// The handle table shared by termios devices and in-process lines, and
// opening a port by name with the reason for a failure kept in words.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/detail/port_names.h"
#include "platform/detail/serial_posix.h"
#include "platform/serial.h"
#include "platform/trace.h"

namespace platform {
namespace {

using detail::OpenFailure;

constexpr int32_t kFirstInProcessHandle = 0x40000000;  // above any descriptor

struct Registry {
  std::map<int32_t, std::shared_ptr<SerialDevice>> open;
  std::map<std::string, std::shared_ptr<SerialDevice>> in_process;
  int32_t next_in_process = kFirstInProcessHandle;
  std::string last_error;
};

Registry& R() {
  static Registry registry;
  return registry;
}

// The registered line for `name`: the same name, or the same COMn in any case.
std::shared_ptr<SerialDevice> FindInProcess(const std::string& name) {
  const auto& lines = R().in_process;
  auto it = lines.find(name);
  if (it != lines.end()) return it->second;
  const int number = detail::ComPortNumber(name);
  if (number == 0) return nullptr;
  for (const auto& [registered, device] : lines) {
    if (detail::ComPortNumber(registered) == number) return device;
  }
  return nullptr;
}

int32_t Fail(const std::string& name, const std::string& path, OpenFailure failure,
             const std::string& group = "", const std::string& why = "") {
  R().last_error = detail::DescribeOpenFailure(name, path, failure, group, why);
  Trace(R().last_error.c_str());
  return -1;
}

std::string GroupOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "";
  if (const group* g = getgrgid(st.st_gid)) return g->gr_name;
  return std::to_string(st.st_gid);
}

OpenFailure FailureOfErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return OpenFailure::kPermission;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OpenFailure::kNoSuchDevice;
    case EBUSY:  // TIOCEXCL held by another program
    case EWOULDBLOCK:
      return OpenFailure::kInUse;
    case ENOTTY:
      return OpenFailure::kNotSerialDevice;
    default:
      return OpenFailure::kOther;
  }
}

// Opens and claims the node; on failure returns -1 with errno set.
int OpenExclusive(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios probe{};
  if (tcgetattr(fd, &probe) != 0) {
    const int error = errno == EIO ? EIO : ENOTTY;
    close(fd);
    errno = error;
    return -1;
  }
  // TIOCEXCL keeps out other opens (root excepted); flock also catches root
  // and programs that lock the port themselves.
  ioctl(fd, TIOCEXCL);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

int32_t OpenDevice(const std::string& name, const std::string& path) {
  const int fd = OpenExclusive(path);
  if (fd < 0) {
    const int error = errno;
    const OpenFailure failure = FailureOfErrno(error);
    return Fail(name, path, failure, failure == OpenFailure::kPermission ? GroupOf(path) : "",
                std::strerror(error));
  }
  auto device = std::make_shared<detail::PosixSerial>(fd);
  if (!device->ApplyLineSettings()) {
    const int error = errno;
    return Fail(name, path, OpenFailure::kOther, "", std::strerror(error));
  }
  R().open[fd] = std::move(device);
  return fd;
}

}  // namespace

void RegisterInProcessLine(const std::string& name, std::shared_ptr<SerialDevice> device) {
  R().in_process[name] = std::move(device);
}

void UnregisterInProcessLine(const std::string& name) {
  R().in_process.erase(name);
}

int32_t OpenSerial(const std::string& name) {
  Registry& r = R();
  r.last_error.clear();
  if (auto line = FindInProcess(name)) {
    const int32_t handle = r.next_in_process++;
    r.open.emplace(handle, std::move(line));
    return handle;
  }
  const std::string path = ResolvePortName(name);
  if (path.empty()) {
    const bool com = detail::ComPortNumber(name) != 0;
    return Fail(name, "", com ? OpenFailure::kNoSuchPort : OpenFailure::kBadName);
  }
  return OpenDevice(name, path);
}

SerialDevice* FindSerial(int32_t handle) {
  auto it = R().open.find(handle);
  return it == R().open.end() ? nullptr : it->second.get();
}

bool CloseSerial(int32_t handle) {
  return R().open.erase(handle) > 0;
}

std::string LastOpenError() {
  return R().last_error;
}

}  // namespace platform
