// Serial handles: in-process lines for tests (termios devices to follow).
#include <cctype>
#include <map>
#include <memory>
#include <string>

#include "platform/serial.h"
#include "platform/trace.h"

namespace platform {
namespace {

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

}  // namespace

void RegisterInProcessLine(const std::string& name, std::shared_ptr<SerialDevice> device) {
  R().in_process[name] = std::move(device);
}

void UnregisterInProcessLine(const std::string& name) {
  R().in_process.erase(name);
}

int32_t OpenSerial(const std::string& name) {
  Registry& r = R();
  auto it = r.in_process.find(name);
  if (it != r.in_process.end() && it->second != nullptr) {
    const int32_t handle = r.next_in_process++;
    r.open.emplace(handle, it->second);
    r.last_error.clear();
    return handle;
  }
  r.last_error = name + ": no such serial port.\n";
  Trace(r.last_error.c_str());
  return -1;
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
