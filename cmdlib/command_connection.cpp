#include "cmdlib/command_connection.h"

namespace tpx {
namespace {

// Resolves `name` into `field`; false when it is missing.
template <typename Fn>
bool Resolve(const SymbolResolver& resolve, const char* name, Fn& field) {
  field = reinterpret_cast<Fn>(resolve(name));
  return field != nullptr;
}

}  // namespace

CommandConnection::~CommandConnection() {
  if (IsOpen() && CloseZep != nullptr) Close();
}

bool CommandConnection::Bind(void* module, const SymbolResolver& resolve) {
  linkLibrary = module;
  CommandConnection bound(ownerWindow);
  bool all = Resolve(resolve, "SendZep", bound.SendZep);
  all = Resolve(resolve, "ReceiveZep", bound.ReceiveZep) && all;
  all = Resolve(resolve, "ReceiveZepRapid", bound.ReceiveZepRapid) && all;
  all = Resolve(resolve, "ReceiveZep1Packet", bound.ReceiveZep1Packet) && all;
  all = Resolve(resolve, "OpenZep", bound.OpenZep) && all;
  all = Resolve(resolve, "OpenZepByName", bound.OpenZepByName) && all;
  all = Resolve(resolve, "CloseZep", bound.CloseZep) && all;
  all = Resolve(resolve, "FlushZep", bound.FlushZep) && all;
  all = Resolve(resolve, "GetErrorStatus", bound.GetErrorStatus) && all;
  all = Resolve(resolve, "SetErrorStatus", bound.SetErrorStatus) && all;
  all = Resolve(resolve, "ClearErrorStatus", bound.ClearErrorStatus) && all;
  all = Resolve(resolve, "GetMessageID", bound.GetMessageID) && all;
  all = Resolve(resolve, "SetMessageID", bound.SetMessageID) && all;
  all = Resolve(resolve, "OutputMessage", bound.OutputMessage) && all;
  all = Resolve(resolve, "SendZep1Packet", bound.SendZep1Packet) && all;
  all = Resolve(resolve, "ZEPUserCancel", bound.ZEPUserCancel) && all;
  all = Resolve(resolve, "ZEPSetSpeed", bound.ZEPSetSpeed) && all;
  if (!all) return false;
  SendZep = bound.SendZep;
  ReceiveZep = bound.ReceiveZep;
  ReceiveZepRapid = bound.ReceiveZepRapid;
  ReceiveZep1Packet = bound.ReceiveZep1Packet;
  OpenZep = bound.OpenZep;
  OpenZepByName = bound.OpenZepByName;
  CloseZep = bound.CloseZep;
  FlushZep = bound.FlushZep;
  SetErrorStatus = bound.SetErrorStatus;
  GetErrorStatus = bound.GetErrorStatus;
  ClearErrorStatus = bound.ClearErrorStatus;
  SetMessageID = bound.SetMessageID;
  GetMessageID = bound.GetMessageID;
  OutputMessage = bound.OutputMessage;
  SendZep1Packet = bound.SendZep1Packet;
  ZEPSetSpeed = bound.ZEPSetSpeed;
  ZEPUserCancel = bound.ZEPUserCancel;
  return true;
}

uint8_t CommandConnection::Open(const char* name) {
  if (IsOpen()) Close();
  portHandle = OpenZepByName(name);
  if (portHandle == kNoPort) return 0;
  ZEPSetSpeed(portHandle, baudRate);  // a failed speed change is not detected
  return 1;
}

int32_t CommandConnection::Close() {
  int32_t result = CloseZep(portHandle);
  portHandle = kNoPort;
  return result;
}

}  // namespace tpx
