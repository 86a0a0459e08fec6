// The deadline table: every time limit of the link library holds one of its
// 32 slots. One call of any export holds at most three at a time.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace zep {

class CTimer {
 public:
  static constexpr int kSlots = 32;
  // A wait without a deadline: only the cancel flag or its own condition ends it.
  static constexpr int kNoDeadline = -1;
  // Handed out when every slot is in use. A wait that asked for a deadline and
  // got none must not become endless, so this slot counts as expired at once
  // and the step that needed it fails.
  static constexpr int kExhausted = -2;

  // The first free slot, now in use; kExhausted when all are taken.
  int Acquire();
  // kNoDeadline for a time-out of 0, else an acquired slot armed with `ms`.
  int Start(uint32_t ms);
  // A non-zero `ms` re-arms the slot to now + ms; a zero `ms` pumps the
  // caller's messages once. Then 1 when the slot's deadline has passed.
  // kNoDeadline never expires (and does not pump); kExhausted always has.
  int Check(int slot, uint32_t ms);
  void Release(int slot);
  // Pumps messages until `ms` have passed, sleeping between pumps; returns 1.
  int Delay(uint32_t ms);

  // How long a wait may block before its next step: at most `step_ms`, never
  // past the slot's deadline, at least 1.
  uint32_t NextWait(int slot, uint32_t step_ms) const;
  int InUse() const;
  void ReleaseAll();

 private:
  struct Slot {
    bool in_use = false;
    platform::Tick deadline = 0;
  };
  static bool Valid(int slot) { return slot >= 0 && slot < kSlots; }

  Slot slots_[kSlots];
};

// Longest blocking step of any wait: short enough that the caller's events
// and the cancel flag are served promptly, long enough that a silent line
// costs next to no processor time.
constexpr uint32_t kWaitStepMs = 5;

// Deadlines are compared on the wrapping 32-bit tick circle, which only works
// for deadlines less than 2^31 ms ahead; longer time-outs are cut to that
// (about 24 days), which is no limit in practice.
constexpr uint32_t kLongestTimeoutMs = 0x7FFFFFFF;

}  // namespace zep
