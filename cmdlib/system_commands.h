// The organizer's system commands, exchanged as whole messages over the
// connection while the organizer is in its link mode.
//
// SET BAUD request, 17 bytes:
//   0  "WSYS SET BAUD " (14 bytes, ends in a blank)
//   14 speed code, 16 bits, most significant byte first (00 cc)
//   16 00
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tpx {

// Replies of RESET, QUIT and SET BAUD and the opening message land here.
constexpr int32_t kShortReplyCapacity = 128;
// Largest device-information block the organizer may send.
constexpr int32_t kQimAllCapacity = 0x80000;
constexpr size_t kSetBaudRequestSize = 17;

// The organizer's code for a line speed; none for speeds it does not know.
std::optional<uint8_t> SpeedCode(uint32_t bits_per_second);
std::array<uint8_t, kSetBaudRequestSize> SetBaudRequest(uint8_t code);

uint8_t ReceiveStart();
uint8_t WsysReset();
uint8_t WsysQuit();
uint8_t WsysReceiveQimAll(void** block, uint32_t* length);
uint8_t WsysSetBaud(uint32_t bits_per_second);
// "WSYS PATCH SEND": no reply is awaited and nothing is shown.
bool SendPatchCommand();

}  // namespace tpx
