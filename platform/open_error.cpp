// Why a port did not open, in words that say what to do about it.
#include <cstdlib>
#include <string>

#include "platform/detail/port_names.h"

namespace platform::detail {
namespace {

// "COM3 (/dev/ttyS2)" when a name was resolved, else just the name.
std::string PortLabel(const std::string& name, const std::string& path) {
  if (path.empty() || path == name) return name;
  return name + " (" + path + ")";
}

// The link path as the user would type it: ~ for the home folder.
std::string ShortHome(const std::string& path) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return path;
  const std::string prefix = std::string(home) + "/";
  if (path.compare(0, prefix.size(), prefix) != 0) return path;
  return "~/" + path.substr(prefix.size());
}

std::string NoSuchPort(const std::string& name) {
  std::string link = ShortHome(PortLinkPath(ComPortNumber(name)));
  if (link.empty()) link = "~/.config/vq3upd/ports/" + name;
  return name + ": no such serial port. Connect the docking module or link " + link +
         " to the device.";
}

}  // namespace

std::string DescribeOpenFailure(const std::string& name, const std::string& path,
                                OpenFailure failure, const std::string& group,
                                const std::string& detail) {
  const std::string port = PortLabel(name, path);
  std::string text;
  switch (failure) {
    case OpenFailure::kBadName:
      text = "\"" + name +
             "\": not a port name. Use COM1 to COM256 or a device path such as /dev/ttyUSB0.";
      break;
    case OpenFailure::kNoSuchPort:
      text = NoSuchPort(name);
      break;
    case OpenFailure::kNoSuchDevice:
      text = port + ": no such device; check the cable and the device name.";
      break;
    case OpenFailure::kPermission: {
      // Serial nodes belong to dialout on Debian; the caller names the real group.
      const std::string owner = group.empty() ? "dialout" : group;
      text = port + ": permission denied. The device belongs to group " + owner +
             "; add yourself with `sudo usermod -aG " + owner + " $USER`, then log in again.";
      break;
    }
    case OpenFailure::kInUse:
      text = port + " is in use by another program; close it and try again.";
      break;
    case OpenFailure::kNotSerialDevice:
      text = port + ": not a serial device; name a serial port such as /dev/ttyUSB0.";
      break;
    case OpenFailure::kOther:
      text = port + ": cannot be opened (" + detail + ").";
      break;
  }
  return text + "\n";
}

}  // namespace platform::detail
