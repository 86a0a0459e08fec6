// The command library's one connection to the organizer: the bound entry
// points of the link library and the open port.
#pragma once

#include <cstdint>
#include <functional>

#include "linklib/linklib_exports.h"

namespace tpx {

constexpr int32_t kNoPort = ZEP_INVALID_PORT;
// Line speed of a freshly opened port until TPXSetSpeed changes it.
constexpr uint32_t kDefaultBaudRate = 9600;

// Overall limit, in seconds, of every system-command exchange. Each packet is
// already bounded by the link library's own limits (about 40 s at worst), so
// this only stops an organizer that keeps sending packets; the longest real
// exchange, a device-information block of a few KB at 9600 bps, takes a few
// seconds. One minute leaves ample room and never hangs the program.
constexpr int32_t kCommandTimeoutSeconds = 60;

// Name -> entry point; null when the name is missing.
using SymbolResolver = std::function<void*(const char* name)>;

class CommandConnection {
 public:
  explicit CommandConnection(uint32_t owner_window) : ownerWindow(owner_window) {}
  virtual ~CommandConnection();
  CommandConnection(const CommandConnection&) = delete;
  CommandConnection& operator=(const CommandConnection&) = delete;

  // Resolves the seventeen entry points, all or nothing: on failure none is
  // kept, so a half-bound connection cannot be used by mistake.
  bool Bind(void* module, const SymbolResolver& resolve);
  bool Bound() const { return SendZep != nullptr; }

  bool IsOpen() const { return portHandle != kNoPort; }
  uint8_t Open(const char* name);
  int32_t Close();
  uint32_t TimeoutMs() const { return static_cast<uint32_t>(timeoutSeconds) * 1000u; }

  void* linkLibrary = nullptr;
  int32_t portHandle = kNoPort;
  SendZepFn SendZep = nullptr;
  ReceiveZepFn ReceiveZep = nullptr;
  ReceiveZepRapidFn ReceiveZepRapid = nullptr;
  ReceiveZep1PacketFn ReceiveZep1Packet = nullptr;
  OpenZepFn OpenZep = nullptr;
  OpenZepByNameFn OpenZepByName = nullptr;
  CloseZepFn CloseZep = nullptr;
  FlushZepFn FlushZep = nullptr;
  SetErrorStatusFn SetErrorStatus = nullptr;
  GetErrorStatusFn GetErrorStatus = nullptr;
  ClearErrorStatusFn ClearErrorStatus = nullptr;
  SetMessageIDFn SetMessageID = nullptr;
  GetMessageIDFn GetMessageID = nullptr;
  OutputMessageFn OutputMessage = nullptr;
  SendZep1PacketFn SendZep1Packet = nullptr;
  ZEPSetSpeedFn ZEPSetSpeed = nullptr;
  uint32_t baudRate = kDefaultBaudRate;
  ZEPUserCancelFn ZEPUserCancel = nullptr;
  int32_t timeoutSeconds = kCommandTimeoutSeconds;
  uint32_t ownerWindow = 0;
};

}  // namespace tpx
