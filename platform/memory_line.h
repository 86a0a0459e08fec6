// An in-memory serial line for tests: the host side is a SerialDevice, the far
// end is a peer object that the line runs whenever the host touches the line.
// With a virtual clock installed, a host wait that finds nothing lets virtual
// time pass instead of sleeping, so a 20-second time-out costs microseconds.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

#include "platform/clock.h"
#include "platform/serial.h"

namespace platform {

class MemoryLine;

// The far end. Run is called with the current tick after every host write,
// before every host read and during every host wait; the peer takes what the
// host wrote with TakeFromHost and answers with SendToHost.
class LinePeer {
 public:
  virtual ~LinePeer() = default;
  virtual void Run(MemoryLine& line, Tick now) = 0;
};

class MemoryLine : public SerialDevice {
 public:
  MemoryLine() = default;
  explicit MemoryLine(LinePeer* peer) : peer_(peer) {}

  void SetPeer(LinePeer* peer) { peer_ = peer; }

  // --- far end ---
  std::vector<uint8_t> TakeFromHost();
  void SendToHost(const uint8_t* bytes, size_t count);
  void SendToHost(std::initializer_list<uint8_t> bytes);
  void SendToHost(const std::vector<uint8_t>& bytes) { SendToHost(bytes.data(), bytes.size()); }
  // The line goes dead: every later host operation fails at once.
  void HangUp() { gone_ = true; }

  // --- what the host did, for assertions ---
  const std::vector<uint8_t>& written() const { return written_; }  // everything, in order
  uint32_t speed() const { return speed_; }
  bool line_settings_applied() const { return settings_applied_; }
  bool dtr() const { return dtr_; }
  bool rts() const { return rts_; }
  int input_purges() const { return input_purges_; }
  size_t pending_to_host() const { return to_host_.size(); }
  // Largest single read the host asked for.
  uint32_t largest_read_request() const { return largest_read_; }

  // --- SerialDevice ---
  bool ApplyLineSettings() override;
  bool SetSpeed(uint32_t bits_per_second) override;
  bool SetDtr(bool on) override;
  bool SetRts(bool on) override;
  void Purge(bool output, bool input) override;
  int32_t InputQueued() override;
  int32_t OutputQueued() override;
  int32_t Read(uint8_t* dst, uint32_t max) override;
  int32_t Write(const uint8_t* src, uint32_t count) override;
  WaitResult WaitReadable(uint32_t ms) override;
  WaitResult WaitWritable(uint32_t ms) override;
  WaitResult WaitDrained(uint32_t ms) override;
  bool Gone() const override { return gone_; }

 private:
  void RunPeer();

  LinePeer* peer_ = nullptr;
  bool running_peer_ = false;
  std::deque<uint8_t> to_host_;
  std::vector<uint8_t> from_host_;  // not yet taken by the peer
  std::vector<uint8_t> written_;
  uint32_t speed_ = 0;
  bool settings_applied_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool gone_ = false;
  int input_purges_ = 0;
  uint32_t largest_read_ = 0;
};

}  // namespace platform
