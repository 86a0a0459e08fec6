// The millisecond tick every time limit is measured with, and a clock that
// tests can replace with virtual time.
#pragma once

#include <cstdint>

namespace platform {

// A 32-bit millisecond tick count; it wraps after about 49.7 days.
using Tick = uint32_t;

// True when `now` is equal to or past `deadline`. Both are read as points on
// the wrapping tick circle: a deadline up to 2^31 - 1 ms ahead counts as
// ahead, so a deadline that straddles the wrap neither expires at once nor
// lasts for weeks.
constexpr bool DeadlinePassed(Tick now, Tick deadline) {
  return static_cast<int32_t>(now - deadline) >= 0;
}

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Tick Now() = 0;
  // Lets `ms` milliseconds pass without using the processor.
  virtual void Sleep(uint32_t ms) = 0;
};

// Virtual time for tests: Sleep only moves the tick on.
class VirtualClock : public Clock {
 public:
  explicit VirtualClock(Tick start = 0) : now_(start) {}
  Tick Now() override { return now_; }
  void Sleep(uint32_t ms) override { now_ += ms; }
  void Advance(uint32_t ms) { now_ += ms; }
  void Set(Tick t) { now_ = t; }

 private:
  Tick now_;
};

// The process-wide clock: CLOCK_MONOTONIC unless a test installed another.
Clock& CurrentClock();
// Installs `clock` (not owned) for the whole process; nullptr restores the
// monotonic clock.
void SetClock(Clock* clock);
inline Tick TickCount() { return CurrentClock().Now(); }

// Installs a virtual clock for the lifetime of a scope.
class ScopedVirtualClock {
 public:
  explicit ScopedVirtualClock(Tick start = 0) : clock_(start) { SetClock(&clock_); }
  ~ScopedVirtualClock() { SetClock(nullptr); }
  ScopedVirtualClock(const ScopedVirtualClock&) = delete;
  ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
  VirtualClock& clock() { return clock_; }

 private:
  VirtualClock clock_;
};

}  // namespace platform
