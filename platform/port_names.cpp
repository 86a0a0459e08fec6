// COMn names to device paths: first the user's own link, then the serial
// nodes numbered the way Wine numbers them.
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/detail/port_names.h"
#include "platform/serial.h"

namespace platform {
namespace detail {
namespace {

constexpr int kMaxComPort = 256;  // COM1 to COM256, as the desktop allows
constexpr size_t kPrefixLength = 3;
constexpr size_t kMaxDigits = 3;

// Families in Wine's order; each counts from 0 up to its first missing node.
const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};

// lstat: a dangling link still counts, so opening it says "no such device"
// about the user's link instead of silently falling back to numbering.
bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

int ComPortNumber(const std::string& name) {
  if (name.size() <= kPrefixLength || name.size() > kPrefixLength + kMaxDigits) return 0;
  for (size_t i = 0; i < kPrefixLength; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  if (name[kPrefixLength] == '0') return 0;  // one spelling per port
  int number = 0;
  for (size_t i = kPrefixLength; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number <= kMaxComPort ? number : 0;
}

std::string PortLinkPath(int number) {
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = Env("HOME");
    if (home.empty()) return "";
    base = home + "/.config";
  }
  return base + "/vq3upd/ports/COM" + std::to_string(number);
}

std::string ResolvePortNameUnder(const std::string& name, const std::string& dev_root) {
  if (name.find('/') != std::string::npos) return name;
  const int number = ComPortNumber(name);
  if (number == 0) return "";
  const std::string link = PortLinkPath(number);
  // The link itself is returned: opening it reaches whatever it points at now.
  if (!link.empty() && Exists(link)) return link;
  int index = 0;
  for (const char* family : kFamilies) {
    for (int unit = 0;; ++unit) {
      const std::string node = dev_root + "/" + family + std::to_string(unit);
      if (!Exists(node)) break;
      if (++index == number) return node;
    }
  }
  return "";
}

}  // namespace detail

std::string ResolvePortName(const std::string& name) {
  return detail::ResolvePortNameUnder(name, "/dev");
}

}  // namespace platform
