// The organizer's end of the line: the master side of a pseudo-terminal.
//
// The slave is made raw at 9600 bps and closed at once, so that the master
// sees a hang-up until a host opens it, and again after the host closed it.
// Termios are shared by both ends, so the master reads the speed the host
// set: bytes sent while the two speeds differ are lost, as on a real line.
// With pacing, bytes take 11 bits at the organizer's speed each way.
// Every wait is a poll() with a time-out that also watches a stop event.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>

#include "orgsim/orgsim.h"

namespace orgsim {

using SimClock = std::chrono::steady_clock;

class PtyLine {
 public:
  enum class Result { kOk, kTimeout, kClosed, kStop };

  // `counters` is updated under `lock`, which readers of it take too.
  PtyLine(bool pacing, std::mutex& lock, Counters& counters);
  ~PtyLine();

  bool Open(std::string* error);
  const std::string& slave_path() const { return slave_path_; }

  // Blocks until the host opens the port (kOk) or a stop (kStop).
  Result WaitHostOpen();
  bool host_open() const { return host_open_; }
  // The next byte from the host, waiting until `deadline`.
  Result ReadByte(uint8_t* byte, SimClock::time_point deadline);
  // All of `bytes`, paced when asked; returns once they have left.
  Result Write(std::span<const uint8_t> bytes);
  // Lets time pass, still noticing a stop.
  Result Sleep(std::chrono::milliseconds duration);

  void SetSpeed(uint32_t bits_per_second) { speed_ = bits_per_second; }
  uint32_t speed() const { return speed_; }
  // The speed the host's end is set to; 0 when unknown.
  uint32_t HostSpeed() const;
  uint32_t bytes_lost() const { return bytes_lost_.load(); }

  // Closes the organizer's end for good: the host sees a hang-up.
  void HangUp();
  // From any thread: every wait returns kStop from now on.
  void RequestStop();

 private:
  struct Arrival {
    uint8_t byte;
    SimClock::time_point at;  // when the byte has crossed the line
  };
  Result Fill(SimClock::time_point deadline);
  Result TakeInput();
  Result WriteChunk(std::span<const uint8_t> chunk);
  // Also ends early with kClosed when the host closes the port meanwhile.
  Result SleepUntil(SimClock::time_point when, bool watch_host = true);
  SimClock::duration ByteTime() const;
  void CountBytes(size_t n, bool to_host);

  bool pacing_;
  std::mutex& lock_;
  Counters& counters_;
  int master_ = -1;
  int stop_event_ = -1;
  bool host_open_ = false;
  std::string slave_path_;
  uint32_t speed_ = 9600;
  std::atomic<uint32_t> bytes_lost_{0};  // read by other threads
  std::deque<Arrival> input_;
  SimClock::time_point rx_free_{};  // when the line from the host is next free
};

}  // namespace orgsim
