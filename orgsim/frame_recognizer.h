// Recognises the host's frames one byte at a time, with no I/O, so it can be
// fed from a line, a test table or a fuzzer alike.
#pragma once

#include <cstdint>
#include <vector>

namespace orgsim {

class FrameRecognizer {
 public:
  enum class Event {
    kNone,         // the byte was taken; no frame ended with it
    kControl,      // a control frame ended: code()
    kData,         // a data frame with a correct sum ended: block(), data()
    kBadChecksum,  // a data frame ended whose sum does not match its data
    kOversized,    // a data frame's count exceeds 2048; dropped at its count
  };

  Event Feed(uint8_t byte);
  void Reset() { state_ = State::kHunt; }

  uint8_t code() const { return code_; }
  uint16_t block() const { return block_; }
  const std::vector<uint8_t>& data() const { return data_; }

 private:
  enum class State {
    kHunt,   // waiting for a preamble zero
    kZeros,  // one or more zeros seen
    kKind,   // start byte seen
    kCode,   // control frame: the code is next
    kFixed,  // data frame: byte 7, not tested
    kBlockLow,
    kBlockHigh,
    kFixedRun,  // data frame: bytes 10 to 12, not tested
    kCountLow,
    kCountHigh,
    kData,
    kSumLow,
    kSumHigh,
  };

  Event FeedHeader(uint8_t byte);
  Event FeedBody(uint8_t byte);
  Event EndData();

  State state_ = State::kHunt;
  uint8_t code_ = 0;
  uint16_t block_ = 0;
  uint16_t count_ = 0;
  uint16_t sum_ = 0;
  uint16_t received_sum_ = 0;
  int fixed_left_ = 0;
  std::vector<uint8_t> data_;
};

}  // namespace orgsim
