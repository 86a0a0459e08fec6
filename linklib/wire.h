// The link protocol on the wire. All multi-byte fields are little-endian.
//
//   control frame (8 bytes)
//   +----+----+----+----+----+----+----+------+
//   | 00 | 00 | 00 | 00 | 00 | 96 | 82 | code |   code: 05 ENQ, 16 SYN, 06 ACK
//   +----+----+----+----+----+----+----+------+
//
//   data frame (17 + n bytes)
//   +----------------+----+----+----+-------+----------+-----+---------+----------+
//   | 00 00 00 00 00 | 96 | 81 | 10 | block | 01 40 FE |  n  | n bytes | checksum |
//   +----------------+----+----+----+-------+----------+-----+---------+----------+
//     0                5    6    7    8..9    10..12     13..14  15      15 + n
//
// block: 1, 2, 3 ... for the packets of a message, 0xFFFF for its last one.
// checksum: the data bytes summed modulo 65536. There is no negative
// acknowledgement: a receiver that rejects a frame just sends no ACK.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zep {

constexpr uint8_t kFrameStart = 0x96;  // after at least one zero of the preamble
constexpr uint8_t kKindControl = 0x82;
constexpr uint8_t kKindData = 0x81;
constexpr uint8_t kDataFixedByte = 0x10;  // byte 7 of a data frame
constexpr uint8_t kEnq = 0x05;            // request to send a packet
constexpr uint8_t kSyn = 0x16;            // ready to receive it
constexpr uint8_t kAck = 0x06;            // packet received and accepted
constexpr uint16_t kLastBlock = 0xFFFF;   // block number of a message's last packet
constexpr size_t kPreambleSize = 5;
constexpr size_t kControlFrameSize = 8;
constexpr size_t kDataHeaderSize = 15;
constexpr size_t kChecksumSize = 2;
constexpr uint16_t kMaxPacketData = 2048;
// A packet buffer holds the data and the frame's checksum bytes.
constexpr size_t kPacketBufferSize = kMaxPacketData + kChecksumSize;

std::array<uint8_t, kControlFrameSize> ControlFrame(uint8_t code);
std::array<uint8_t, kDataHeaderSize> DataFrameHeader(uint16_t block, uint16_t count);
uint16_t Checksum(const uint8_t* data, size_t count);

// Finds the next control frame in a byte stream: 00 (00...) 96 82 code.
// A data frame's header (96 81) is passed over.
class ControlFrameRecognizer {
 public:
  // True once a code has been recognised; the recogniser then starts over.
  bool Feed(uint8_t byte);
  uint8_t code() const { return code_; }

 private:
  int state_ = 0;
  uint8_t code_ = 0;
};

// Parses one data frame into a packet buffer of kPacketBufferSize bytes: the
// data bytes followed by the frame's two checksum bytes. Bytes before the
// preamble are skipped. An oversized length fails before any data byte is
// stored; the checksum is judged once the last byte is in.
class DataFrameRecognizer {
 public:
  enum class Result { kMore, kComplete, kBadLength, kBadChecksum };

  explicit DataFrameRecognizer(uint8_t* packet_buffer) : buffer_(packet_buffer) {}
  Result Feed(uint8_t byte);
  uint16_t block() const { return block_; }
  uint16_t length() const { return length_; }

 private:
  uint8_t* buffer_;
  int state_ = 0;
  uint16_t block_ = 0;
  uint16_t length_ = 0;
  uint32_t index_ = 0;
};

}  // namespace zep
