#include "orgsim/frame_recognizer.h"

#include "orgsim/wire.h"

namespace orgsim {

FrameRecognizer::Event FrameRecognizer::Feed(uint8_t byte) {
  switch (state_) {
    case State::kHunt:
    case State::kZeros:
    case State::kKind:
    case State::kCode:
      return FeedHeader(byte);
    default:
      return FeedBody(byte);
  }
}

// Preamble, start byte and kind: at least one zero must come before 0x96.
FrameRecognizer::Event FrameRecognizer::FeedHeader(uint8_t byte) {
  switch (state_) {
    case State::kHunt:
      state_ = byte == wire::kPreambleByte ? State::kZeros : State::kHunt;
      return Event::kNone;
    case State::kZeros:
      if (byte == wire::kStartByte) {
        state_ = State::kKind;
      } else if (byte != wire::kPreambleByte) {
        state_ = State::kHunt;
      }
      return Event::kNone;
    case State::kKind:
      if (byte == wire::kKindControl) {
        state_ = State::kCode;
      } else if (byte == wire::kKindData) {
        state_ = State::kFixed;
      } else {
        state_ = State::kHunt;  // a zero here is no new preamble either
      }
      return Event::kNone;
    default:  // kCode
      code_ = byte;
      state_ = State::kHunt;
      return Event::kControl;
  }
}

FrameRecognizer::Event FrameRecognizer::FeedBody(uint8_t byte) {
  switch (state_) {
    case State::kFixed:
      state_ = State::kBlockLow;
      return Event::kNone;
    case State::kBlockLow:
      block_ = byte;
      state_ = State::kBlockHigh;
      return Event::kNone;
    case State::kBlockHigh:
      block_ = static_cast<uint16_t>(block_ | byte << 8);
      fixed_left_ = sizeof wire::kFixedAfterBlock;
      state_ = State::kFixedRun;
      return Event::kNone;
    case State::kFixedRun:
      if (--fixed_left_ == 0) state_ = State::kCountLow;
      return Event::kNone;
    case State::kCountLow:
      count_ = byte;
      state_ = State::kCountHigh;
      return Event::kNone;
    case State::kCountHigh:
      count_ = static_cast<uint16_t>(count_ | byte << 8);
      if (count_ > wire::kMaxPacketData) {
        state_ = State::kHunt;
        return Event::kOversized;
      }
      data_.clear();
      sum_ = 0;
      state_ = count_ == 0 ? State::kSumLow : State::kData;
      return Event::kNone;
    case State::kData:
      data_.push_back(byte);
      sum_ = static_cast<uint16_t>(sum_ + byte);
      if (data_.size() == count_) state_ = State::kSumLow;
      return Event::kNone;
    case State::kSumLow:
      received_sum_ = byte;
      state_ = State::kSumHigh;
      return Event::kNone;
    default:  // kSumHigh
      received_sum_ = static_cast<uint16_t>(received_sum_ | byte << 8);
      return EndData();
  }
}

FrameRecognizer::Event FrameRecognizer::EndData() {
  state_ = State::kHunt;
  return received_sum_ == sum_ ? Event::kData : Event::kBadChecksum;
}

}  // namespace orgsim
