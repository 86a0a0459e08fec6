// The process-wide millisecond tick and the clock tests may replace.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

constexpr uint64_t kMsPerSecond = 1000;
constexpr long kNsPerMs = 1000000;

class MonotonicClock : public Clock {
 public:
  Tick Now() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * kMsPerSecond +
                        static_cast<uint64_t>(ts.tv_nsec / kNsPerMs);
    return static_cast<Tick>(ms);  // wraps like the original's tick count
  }

  void Sleep(uint32_t ms) override {
    timespec left{static_cast<time_t>(ms / kMsPerSecond),
                  static_cast<long>(ms % kMsPerSecond) * kNsPerMs};
    // A signal (the terminal front end's Ctrl-C) must not cut the pause short.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

MonotonicClock g_monotonic;
Clock* g_current = &g_monotonic;

}  // namespace

Clock& CurrentClock() {
  return *g_current;
}

void SetClock(Clock* clock) {
  g_current = clock != nullptr ? clock : &g_monotonic;
}

}  // namespace platform
