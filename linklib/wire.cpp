#include "linklib/wire.h"

namespace zep {

std::array<uint8_t, kControlFrameSize> ControlFrame(uint8_t code) {
  return {0, 0, 0, 0, 0, kFrameStart, kKindControl, code};
}

std::array<uint8_t, kDataHeaderSize> DataFrameHeader(uint16_t block, uint16_t count) {
  return {0,
          0,
          0,
          0,
          0,
          kFrameStart,
          kKindData,
          kDataFixedByte,
          static_cast<uint8_t>(block & 0xFF),
          static_cast<uint8_t>(block >> 8),
          0x01,  // fixed bytes the receiver does not test
          0x40,
          0xFE,
          static_cast<uint8_t>(count & 0xFF),
          static_cast<uint8_t>(count >> 8)};
}

uint16_t Checksum(const uint8_t* data, size_t count) {
  uint16_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint16_t>(sum + data[i]);
  return sum;
}

// States 0..2 find the preamble's last zero, the start byte and the kind.
bool ControlFrameRecognizer::Feed(uint8_t byte) {
  switch (state_) {
    case 0:
      state_ = byte == 0x00 ? 1 : 0;
      return false;
    case 1:
      state_ = byte == kFrameStart ? 2 : (byte == 0x00 ? 1 : 0);
      return false;
    case 2:
      state_ = byte == kKindControl ? 3 : 0;
      return false;
    default:
      code_ = byte;
      state_ = 0;
      return true;
  }
}

DataFrameRecognizer::Result DataFrameRecognizer::Feed(uint8_t byte) {
  switch (state_) {
    case 0:
      state_ = byte == 0x00 ? 1 : 0;
      break;
    case 1:
      state_ = byte == kFrameStart ? 2 : (byte == 0x00 ? 1 : 0);
      break;
    case 2:
      state_ = byte == kKindData ? 3 : 0;
      break;
    case 4:
      block_ = byte;
      state_ = 5;
      break;
    case 5:
      block_ = static_cast<uint16_t>(block_ | byte << 8);
      state_ = 6;
      break;
    case 9:
      length_ = byte;
      state_ = 10;
      break;
    case 10:
      length_ = static_cast<uint16_t>(length_ | byte << 8);
      if (length_ > kMaxPacketData) {
        state_ = 0;
        return Result::kBadLength;
      }
      index_ = 0;
      state_ = 11;
      break;
    case 11: {
      buffer_[index_++] = byte;
      if (index_ < length_ + kChecksumSize) break;
      const uint16_t sent = static_cast<uint16_t>(buffer_[length_] | buffer_[length_ + 1] << 8);
      state_ = 0;  // a final verdict: fed again, the recogniser hunts for a new frame
      return Checksum(buffer_, length_) == sent ? Result::kComplete : Result::kBadChecksum;
    }
    default:  // 3, 6, 7, 8: fixed bytes, not tested
      ++state_;
      break;
  }
  return Result::kMore;
}

}  // namespace zep
