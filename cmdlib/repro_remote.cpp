#include "cmdlib/repro_remote.h"

#include "cmdlib/library_state.h"
#include "cmdlib/repro_files.h"

namespace tpx {
namespace {

constexpr uint32_t kReserved = 0;

bool ReceiveExactly(uint8_t* buffer, int32_t length) {
  CommandConnection& c = *Connection();
  int32_t count = 0;
  return c.ReceiveZep(c.ownerWindow, Engine().enginePort, buffer, length, &count,
                      kReproReplyTimeoutMs, kReserved) != 0 &&
         count == length;
}

}  // namespace

bool SendPacket(const void* data, uint16_t length) {
  CommandConnection& c = *Connection();
  return c.SendZep1Packet(c.ownerWindow, Engine().enginePort, data, length, kLastBlock) != 0;
}

bool SendRequest(const ReproRequest& request) {
  auto bytes = request.Encode();
  return SendPacket(bytes.data(), kReproRequestSize);
}

bool ReceiveByte(uint8_t* byte) {
  return ReceiveExactly(byte, 1);
}

uint8_t ReceiveStatus() {
  uint8_t status = kNoStatus;
  return ReceiveByte(&status) ? status : kNoStatus;
}

uint8_t WriteRemote(uint16_t address, const uint8_t* data, uint16_t length) {
  if (!SendRequest({.op = kReproOpWrite, .param1 = address, .param2 = length})) return kNoStatus;
  if (!SendPacket(data, length)) return kNoStatus;
  return ReceiveStatus();
}

uint8_t ReadRemote(uint8_t* buffer, uint16_t address, uint16_t length) {
  if (!SendRequest({.op = kReproOpRead, .param1 = address, .param2 = length})) return kNoStatus;
  if (!ReceiveExactly(buffer, length)) return kNoStatus;
  return ReceiveStatus();
}

uint8_t CallRemote(uint16_t entry, uint16_t p1, uint16_t p2, uint16_t p3, uint16_t p4) {
  if (!SendRequest({.op = kReproOpCall,
                    .param1 = p1,
                    .param2 = p2,
                    .param3 = p3,
                    .param4 = p4,
                    .entry = entry})) {
    return kNoStatus;
  }
  return ReceiveStatus();
}

}  // namespace tpx
