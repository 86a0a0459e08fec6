#include "linklib/ctimer.h"

#include <algorithm>

#include "linklib/port_io.h"

namespace zep {

int CTimer::Acquire() {
  for (int i = 0; i < kSlots; ++i) {
    if (!slots_[i].in_use) {
      slots_[i].in_use = true;
      return i;
    }
  }
  return kExhausted;
}

int CTimer::Start(uint32_t ms) {
  if (ms == 0) return kNoDeadline;
  const int slot = Acquire();
  Check(slot, ms);
  return slot;
}

int CTimer::Check(int slot, uint32_t ms) {
  if (slot == kExhausted) return 1;
  if (!Valid(slot)) return 0;
  const platform::Tick now = platform::TickCount();
  if (ms != 0) {
    slots_[slot].deadline = now + std::min(ms, kLongestTimeoutMs);
  } else {
    PumpMessages();
  }
  return platform::DeadlinePassed(platform::TickCount(), slots_[slot].deadline) ? 1 : 0;
}

void CTimer::Release(int slot) {
  if (Valid(slot)) slots_[slot].in_use = false;
}

int CTimer::Delay(uint32_t ms) {
  const platform::Tick end = platform::TickCount() + std::min(ms, kLongestTimeoutMs);
  for (;;) {
    PumpMessages();
    const platform::Tick now = platform::TickCount();
    if (platform::DeadlinePassed(now, end)) return 1;
    platform::CurrentClock().Sleep(std::min(end - now, kWaitStepMs));
  }
}

uint32_t CTimer::NextWait(int slot, uint32_t step_ms) const {
  if (!Valid(slot)) return step_ms;
  const platform::Tick now = platform::TickCount();
  if (platform::DeadlinePassed(now, slots_[slot].deadline)) return 1;
  return std::max<uint32_t>(1, std::min(slots_[slot].deadline - now, step_ms));
}

int CTimer::InUse() const {
  return static_cast<int>(
      std::count_if(std::begin(slots_), std::end(slots_), [](const Slot& s) { return s.in_use; }));
}

void CTimer::ReleaseAll() {
  for (Slot& s : slots_) s.in_use = false;
}

}  // namespace zep
