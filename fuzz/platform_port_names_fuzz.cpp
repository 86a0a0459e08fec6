// Any bytes as a port name: the COMn parser, the resolution (against a device
// folder that does not exist, so only the name is exercised) and the words of
// every open failure must neither crash nor read past the name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/detail/port_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using platform::detail::OpenFailure;
  const std::string name(reinterpret_cast<const char*>(data), size);
  const int number = platform::detail::ComPortNumber(name);
  if (number < 0 || number > 256) std::abort();
  const std::string path =
      platform::detail::ResolvePortNameUnder(name, "/nonexistent-vq3-fuzz-dev");
  if (name.find('/') != std::string::npos && path != name) std::abort();
  for (OpenFailure failure :
       {OpenFailure::kBadName, OpenFailure::kNoSuchPort, OpenFailure::kNoSuchDevice,
        OpenFailure::kPermission, OpenFailure::kInUse, OpenFailure::kNotSerialDevice,
        OpenFailure::kOther}) {
    const std::string words =
        platform::detail::DescribeOpenFailure(name, path, failure, name, name);
    if (words.empty() || words.back() != '\n') std::abort();
  }
  return 0;
}
