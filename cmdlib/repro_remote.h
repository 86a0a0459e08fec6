// The engine's exchanges with the organizer's loader. Each returns an 8-bit
// code: 0 success, the organizer's own failure code, or kNoStatus when no
// status byte arrived or a packet was not delivered.
#pragma once

#include <cstdint>

#include "cmdlib/repro_request.h"

namespace tpx {

constexpr uint8_t kNoStatus = 0xFF;
// Replies during reprogramming are awaited at most this long.
constexpr uint32_t kReproReplyTimeoutMs = 10000;
// Block number of a packet that is a whole message by itself.
constexpr uint16_t kLastBlock = 0xFFFF;

// Sends one packet; true when it was delivered and acknowledged.
bool SendPacket(const void* data, uint16_t length);
bool SendRequest(const ReproRequest& request);
// One reply byte; false when none arrived.
bool ReceiveByte(uint8_t* byte);
uint8_t ReceiveStatus();
uint8_t WriteRemote(uint16_t address, const uint8_t* data, uint16_t length);
uint8_t ReadRemote(uint8_t* buffer, uint16_t address, uint16_t length);
uint8_t CallRemote(uint16_t entry, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0,
                   uint16_t p4 = 0);

}  // namespace tpx
