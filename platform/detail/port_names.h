// Internals of port naming and open failures, apart so tests can reach them.
#pragma once

#include <string>

namespace platform::detail {

// n for a name "COMn" with n in 1..256 (any letter case, no sign, no leading
// zero), else 0.
int ComPortNumber(const std::string& name);

// ResolvePortName with the device folder `dev_root` in place of "/dev".
std::string ResolvePortNameUnder(const std::string& name, const std::string& dev_root);

// Where the user links COMn to a device: $XDG_CONFIG_HOME/vq3upd/ports/COMn,
// with ~/.config when XDG_CONFIG_HOME is unset or empty. "" without a home.
std::string PortLinkPath(int number);

enum class OpenFailure {
  kBadName,          // not COMn and not a path
  kNoSuchPort,       // COMn that nothing resolves to
  kNoSuchDevice,     // the path names nothing (or a vanished device)
  kPermission,       // the node's mode keeps us out
  kInUse,            // another program holds the port
  kNotSerialDevice,  // the path is not a terminal device
  kOther,            // anything else: `detail` says what
};

// The words LastOpenError gives, ending in "\n". `path` is what the name
// resolved to ("" when nothing), `group` the node's group for kPermission,
// `detail` the system's reason for kOther.
std::string DescribeOpenFailure(const std::string& name, const std::string& path,
                                OpenFailure failure, const std::string& group = "",
                                const std::string& detail = "");

}  // namespace platform::detail
