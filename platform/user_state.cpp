// Per-user state files (filled in below).
#include "platform/user_state.h"

namespace platform {

std::string StateDirectory() {
  return "";
}
bool WriteStateFile(const std::string&, const std::string&, std::string* error) {
  if (error != nullptr) *error = "not yet available";
  return false;
}
std::optional<std::string> ReadStateFile(const std::string&) {
  return std::nullopt;
}
bool RemoveStateFile(const std::string&) {
  return true;
}

}  // namespace platform
