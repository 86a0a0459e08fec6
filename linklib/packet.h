// The two halves of the packet handshake, shared by the send and receive exports.
#pragma once

#include <cstdint>

#include "linklib/comm_port.h"

namespace zep {

// Time limits of the handshake, in milliseconds.
constexpr uint32_t kControlWriteMs = 1000;    // writing and draining ENQ or SYN
constexpr uint32_t kControlWaitMs = 1000;     // one wait for a control frame
constexpr uint32_t kEnqPhaseMs = 10000;       // ENQ phase of one attempt
constexpr uint32_t kRapidEnqPhaseMs = 1000;   // ... when the receiver is in a hurry
constexpr uint32_t kDataWriteMs = 20000;      // writing and draining a data frame
constexpr uint32_t kDataReceiveMs = 20000;    // receiving a data frame
constexpr uint32_t kFirstDataByteMs = 10000;  // first byte after SYN
constexpr uint32_t kAckWaitMs = 10000;        // sender waiting for ACK
constexpr uint32_t kAckWriteMs = 10000;       // writing and draining ACK
constexpr uint32_t kPauseAfterAckMs = 50;
constexpr int kAttemptsPerPacket = 2;

int SendControlFrame(CCommPort& port, uint8_t code, uint32_t ms);
int ReceiveControlFrame(CCommPort& port, uint8_t* code, uint32_t ms);
int SendDataFrame(CCommPort& port, const uint8_t* data, uint16_t count, uint16_t block,
                  uint32_t ms);
int SendPacket(CCommPort& port, const uint8_t* data, uint16_t count, uint16_t block);

// `buffer` holds kPacketBufferSize bytes; `block` is the expected block number.
int ReceiveDataFrame(CCommPort& port, uint8_t* buffer, uint16_t* length, uint16_t* block,
                     uint32_t ms);
int ReceivePacket(CCommPort& port, uint8_t* buffer, uint16_t* length, uint16_t* block, bool rapid);

// Disables the owner window for the life of a transfer and restores its
// earlier state on every way out.
class WindowDisabled {
 public:
  explicit WindowDisabled(uint32_t window);
  ~WindowDisabled();
  WindowDisabled(const WindowDisabled&) = delete;
  WindowDisabled& operator=(const WindowDisabled&) = delete;

 private:
  uint32_t window_;
  bool was_enabled_;
};

}  // namespace zep
