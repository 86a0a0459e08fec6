// The per-call port context: built by each transfer on entry, discarded
// before it returns.
#pragma once

#include <cstdint>

#include "platform/serial.h"

namespace zep {

struct LineStatus {
  uint32_t flags = 0;
  uint32_t input_queued = 0;
  uint32_t output_queued = 0;
};

struct CCommPort {
  CCommPort(int32_t port, uint32_t window)
      : port_handle(port), owner_window(window), device(platform::FindSerial(port)) {}

  // No device behind the handle, or one that went away: every wait, read and
  // write fails at once, and the packet loops stop instead of retrying.
  bool LineGone() const { return device == nullptr || device->Gone(); }

  int32_t port_handle;
  uint32_t owner_window;
  uint32_t line_error = 0;  // kept for the record, never evaluated
  LineStatus line_status;
  platform::SerialDevice* device;
};

}  // namespace zep
