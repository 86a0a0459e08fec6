// The organizer's side of the link, as it sees the wire.
//
//   control frame:  00 00 00 00 00 96 82 code
//   data frame:     00 00 00 00 00 96 81 10 blk-lo blk-hi 01 40 FE n-lo n-hi data[n] sum-lo sum-hi
//
// The sum is the 16-bit total of the n data bytes. A message travels as
// packets of 2048 bytes numbered 1, 2, 3 ... with 0xFFFF on the last one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orgsim::wire {

inline constexpr size_t kPreambleLength = 5;      // zero bytes before the start byte
inline constexpr uint8_t kPreambleByte = 0x00;    // each preamble byte
inline constexpr uint8_t kStartByte = 0x96;       // begins every frame
inline constexpr uint8_t kKindData = 0x81;        // data frame follows
inline constexpr uint8_t kKindControl = 0x82;     // control frame: one code follows
inline constexpr uint8_t kFixedAfterKind = 0x10;  // data frame byte 7
inline constexpr uint8_t kFixedAfterBlock[3] = {0x01, 0x40, 0xFE};  // data frame bytes 10-12

inline constexpr uint8_t kEnq = 0x05;  // request to send a packet
inline constexpr uint8_t kSyn = 0x16;  // ready to receive it
inline constexpr uint8_t kAck = 0x06;  // packet received and accepted

inline constexpr size_t kControlFrameLength = 8;
inline constexpr size_t kDataHeaderLength = 15;  // up to and with the count
inline constexpr size_t kChecksumLength = 2;
inline constexpr size_t kMaxPacketData = 2048;  // data bytes a packet may carry
inline constexpr uint16_t kLastBlock = 0xFFFF;  // block number of a message's last packet
inline constexpr uint16_t kFirstBlock = 1;      // block number of a long message's first packet

// Timing of the organizer's handshakes.
inline constexpr int kPauseAfterAckMs = 50;  // both sides rest after an ACK
inline constexpr int kEnqIntervalMs = 300;   // the organizer repeats ENQ until SYN
inline constexpr int kEnqPhaseMs = 10000;    // ... for this long per attempt
// The host acknowledges as soon as the frame is checked; waiting longer would
// push our repeat's ENQ past a rapid receiver's one-second ENQ phase.
inline constexpr int kAckWaitMs = 500;
inline constexpr int kSendAttempts = 2;  // a packet is tried twice

// Line speeds in bits per second.
inline constexpr uint32_t kPowerOnSpeed = 9600;  // normal link mode starts here
inline constexpr uint32_t kBitsPerByte = 11;     // start, 8 data, parity, stop

}  // namespace orgsim::wire
