// The serial device behind one small interface: a termios port on Linux, or
// an in-memory line in tests. Handles are small integers handed across the
// link library's C boundary: the file descriptor for a real device.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

enum class WaitResult { kReady, kTimeout, kGone };

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Raw 8 data bits, odd parity, 1 stop bit, no flow control, at 9600 bps.
  virtual bool ApplyLineSettings() = 0;
  virtual bool SetSpeed(uint32_t bits_per_second) = 0;
  // Devices without modem lines (a pseudo-terminal) report success.
  virtual bool SetDtr(bool on) = 0;
  virtual bool SetRts(bool on) = 0;
  // Discards what the driver holds in either direction.
  virtual void Purge(bool output, bool input) = 0;

  // Bytes waiting in the driver's queues; -1 once the device is gone.
  virtual int32_t InputQueued() = 0;
  virtual int32_t OutputQueued() = 0;
  // Reads at most `max` bytes without blocking: the count read (0 when none
  // waits), or -1 when the device is gone or failed.
  virtual int32_t Read(uint8_t* dst, uint32_t max) = 0;
  // Writes without blocking: the count the driver took (maybe fewer than
  // asked, 0 when its queue is full), or -1 when the device is gone or failed.
  virtual int32_t Write(const uint8_t* src, uint32_t count) = 0;

  // Block for at most `ms` until input arrives / the output queue has room /
  // the output queue drains. They return at once when the condition holds.
  virtual WaitResult WaitReadable(uint32_t ms) = 0;
  virtual WaitResult WaitWritable(uint32_t ms) = 0;
  virtual WaitResult WaitDrained(uint32_t ms) = 0;

  // A device that hung up, vanished or failed stays gone for good.
  virtual bool Gone() const = 0;
};

// Opens a port by name: a name with a '/' is a device path; COMn (1 to 256,
// any letter case) is resolved as ResolvePortName says. Returns the handle,
// or -1; LastOpenError() then tells why in words and the reason was traced.
int32_t OpenSerial(const std::string& name);
// The open device of a handle, or nullptr.
SerialDevice* FindSerial(int32_t handle);
// Closes and forgets the handle; false when it was not open.
bool CloseSerial(int32_t handle);
// Why the last OpenSerial failed, with what to do about it; empty after a success.
std::string LastOpenError();

// COMn to a device path: first the symbolic link $XDG_CONFIG_HOME/vq3upd/ports/COMn
// (default ~/.config/vq3upd/ports/COMn), then the existing /dev/ttyS*, /dev/ttyUSB*,
// /dev/ttyACM* nodes numbered from 0 up to the first missing one, as COM1, COM2, ...
// Names with a '/' come back unchanged; anything else gives "".
std::string ResolvePortName(const std::string& name);

// In-process lines for tests: OpenSerial(name) then opens `device` instead of
// a file. The device is shared, so the test keeps its far end. Handles of
// such lines start at 0x40000000 and never collide with descriptors.
void RegisterInProcessLine(const std::string& name, std::shared_ptr<SerialDevice> device);
void UnregisterInProcessLine(const std::string& name);

}  // namespace platform
