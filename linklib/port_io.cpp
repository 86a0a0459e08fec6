#include "linklib/port_io.h"

#include <algorithm>

#include "linklib/link_state.h"
#include "platform/windows.h"

namespace zep {

// Linux has no thread message queue: the platform layer dispatches the
// messages posted to our windows and then turns the host's own event loop once
// through its pump hook (Qt's processEvents, or the terminal's Ctrl-C check).
// A quit request stays pending there for the host's main loop.
int PumpMessages() {
  return platform::Pump() ? 1 : 0;
}

int CheckAbort(int slot) {
  LinkState& s = State();
  if (s.cancel_flag != 0) {
    s.error_status = kStatusCancelled;
    return 1;
  }
  return s.timer.Check(slot, 0) ? 1 : 0;
}

namespace {

// Refreshes the line status like the original's error query; -1 when gone.
int32_t RefreshInputQueued(CCommPort& port) {
  if (port.LineGone()) return -1;
  const int32_t queued = port.device->InputQueued();
  port.line_status.input_queued = queued > 0 ? static_cast<uint32_t>(queued) : 0;
  return queued;
}

}  // namespace

int32_t ReadAvailable(CCommPort& port) {
  LinkState& s = State();
  if (s.unread_count > 0) return s.unread_count;
  const int32_t queued = RefreshInputQueued(port);
  if (queued <= 0) return queued;
  // The driver may hold more than the buffer; the rest stays queued.
  const uint32_t want = std::min<uint32_t>(static_cast<uint32_t>(queued), kReceiveBufferSize);
  const int32_t got = port.device->Read(s.receive_buffer, want);
  if (got < 0) return -1;
  s.read_position = 0;
  s.unread_count = got;
  return got;
}

uint8_t NextByte() {
  LinkState& s = State();
  const uint8_t byte = s.receive_buffer[s.read_position++];
  if (--s.unread_count <= 0) {
    s.unread_count = 0;
    s.read_position = 0;
  }
  return byte;
}

int WriteBytes(CCommPort& port, const uint8_t* bytes, uint32_t count, int slot) {
  CTimer& timer = State().timer;
  uint32_t done = 0;
  while (!port.LineGone()) {
    const int32_t took = port.device->Write(bytes + done, count - done);
    if (took < 0) return 0;
    done += static_cast<uint32_t>(took);
    if (done >= count) return 1;
    // The driver's queue is full: wait for room under the caller's deadline.
    if (timer.Check(slot, 0)) return 0;
    if (port.device->WaitWritable(timer.NextWait(slot, kWaitStepMs)) == platform::WaitResult::kGone)
      return 0;
  }
  return 0;
}

int WaitOutputEmpty(CCommPort& port, int slot) {
  CTimer& timer = State().timer;
  for (;;) {
    if (port.LineGone()) return 0;
    const int32_t queued = port.device->OutputQueued();
    if (queued < 0) return 0;
    port.line_status.output_queued = static_cast<uint32_t>(queued);
    if (queued == 0) return 1;
    if (CheckAbort(slot)) return 0;
    port.device->WaitDrained(timer.NextWait(slot, kWaitStepMs));
  }
}

int InputQueueEmpty(CCommPort& port) {
  return RefreshInputQueued(port) == 0 ? 1 : 0;
}

void WaitForInput(CCommPort& port, int slot) {
  if (port.LineGone()) return;
  port.device->WaitReadable(State().timer.NextWait(slot, kWaitStepMs));
}

bool TakeByte(CCommPort& port, int slot, uint8_t* byte) {
  for (;;) {
    const int32_t available = ReadAvailable(port);
    if (available < 0) return false;
    if (available > 0) {
      *byte = NextByte();
      return true;
    }
    if (CheckAbort(slot)) return false;
    WaitForInput(port, slot);
  }
}

}  // namespace zep
