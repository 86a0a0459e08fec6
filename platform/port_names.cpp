// COMn names to device paths (filled in below).
#include "platform/serial.h"

namespace platform {

std::string ResolvePortName(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return "";
}

}  // namespace platform
