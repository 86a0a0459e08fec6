// The termios serial device behind a handle from OpenSerial.
#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/serial.h"

namespace platform::detail {

// Owns `fd` (already open, non-blocking, claimed). Once the line hangs up or
// fails with EIO, it is gone: every later operation fails at once.
class PosixSerial : public SerialDevice {
 public:
  explicit PosixSerial(int fd) : fd_(fd) {}
  ~PosixSerial() override;
  PosixSerial(const PosixSerial&) = delete;
  PosixSerial& operator=(const PosixSerial&) = delete;

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

  int fd() const { return fd_; }

 private:
  bool SetModemLine(int line, bool on);
  int32_t Queued(unsigned long request);
  WaitResult WaitFor(short events, uint32_t ms);
  // True (and gone from now on) when poll reported a hang-up or failure.
  bool HungUp(short revents);

  int fd_;
  bool gone_ = false;
};

// The termios speed constant for a rate in bits per second; false for a rate
// termios has no constant for.
bool SpeedConstant(uint32_t bits_per_second, speed_t* out);

}  // namespace platform::detail
