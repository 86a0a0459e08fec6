// The organizer's end of the link for tests, written from the wire tables
// alone (it shares no code with the library), so a mistake in one cannot hide
// behind the same mistake in the other. Peers see bytes and time only; the
// adapters run them over an in-memory line or a pseudo-terminal.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/memory_line.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& hex);  // "00 96 82 05" -> bytes
std::string ToHex(const Bytes& bytes);

Bytes ControlFrameBytes(uint8_t code);
// A data frame; `checksum_delta` is added to the true checksum to spoil it.
Bytes DataFrameBytes(uint16_t block, const Bytes& data, uint16_t checksum_delta = 0);
Bytes Pattern(size_t count, uint8_t seed = 0);  // repeatable test data

struct Frame {
  bool control = false;
  uint8_t code = 0;    // control frames
  uint16_t block = 0;  // data frames
  Bytes data;
  bool checksum_ok = true;
};

// Cuts the host's byte stream into frames; noise between frames is dropped.
class FrameParser {
 public:
  void Feed(const Bytes& bytes);
  std::optional<Frame> Next();

 private:
  Bytes pending_;
};

class Peer {
 public:
  virtual ~Peer() = default;
  // `incoming`: what the host wrote since the last call; append replies to `outgoing`.
  virtual void Run(const Bytes& incoming, uint32_t now_ms, Bytes& outgoing) = 0;
};

// Replies leave after a delay, as on a real line, so that every exchange costs time.
class Outbox {
 public:
  void Schedule(uint32_t due_ms, Bytes bytes) { queue_.push_back({due_ms, std::move(bytes)}); }
  void Release(uint32_t now_ms, Bytes& outgoing);
  bool empty() const { return queue_.empty(); }

 private:
  struct Item {
    uint32_t due_ms;
    Bytes bytes;
  };
  std::deque<Item> queue_;
};

// Receives what the host sends: answers each ENQ (SYN unless told otherwise)
// and each data frame (ACK unless told otherwise), and keeps every frame.
class ReceivingPeer : public Peer {
 public:
  std::optional<uint8_t> enq_reply = 0x16;  // nullopt: stay silent
  uint32_t reply_delay_ms = 2;
  // Replies to the data frames in order; after the list runs out, ACK.
  std::deque<std::optional<uint8_t>> data_replies;

  std::vector<Frame> frames;  // everything the host sent
  std::vector<Frame> data_frames;
  int enqs = 0;
  // The message reassembled from the accepted data frames.
  Bytes message;

  void Run(const Bytes& incoming, uint32_t now_ms, Bytes& outgoing) override;

 private:
  FrameParser parser_;
  Outbox outbox_;
};

// Sends frames to the host: ENQ every 300 ms until SYN, then the data frame,
// then waits for ACK; without ACK within 2 s it starts again with ENQ.
class SendingPeer : public Peer {
 public:
  explicit SendingPeer(const std::vector<Bytes>& frames = {}) {
    for (const Bytes& f : frames) Add(f);
  }
  static std::vector<Bytes> MessageFrames(const Bytes& message);  // blocks 1, 2 ... 0xFFFF
  // One packet: `first` on the first attempt, `retry` (if given) on later ones.
  void Add(Bytes first, std::optional<Bytes> retry = std::nullopt);
  uint32_t reply_delay_ms = 2;
  // Bytes sent before the first ENQ of the next packet (noise, stray frames).
  Bytes preamble_noise;

  int acks = 0;
  int syns = 0;
  int enqs_sent = 0;
  size_t remaining() const { return frames_.size(); }

  void Run(const Bytes& incoming, uint32_t now_ms, Bytes& outgoing) override;

 private:
  enum class State { kIdle, kAwaitSyn, kAwaitAck };
  void SendEnq(uint32_t now_ms, Bytes& outgoing);
  struct Packet {
    Bytes first;
    std::optional<Bytes> retry;
    bool tried = false;
  };
  std::deque<Packet> frames_;
  Outbox outbox_;
  FrameParser parser_;
  State state_ = State::kIdle;
  uint32_t last_ms_ = 0;
};

// Runs a peer as the far end of an in-memory line.
class MemoryPeer : public platform::LinePeer {
 public:
  explicit MemoryPeer(Peer& peer) : peer_(peer) {}
  void Run(platform::MemoryLine& line, platform::Tick now) override;

 private:
  Peer& peer_;
};

}  // namespace linktest
