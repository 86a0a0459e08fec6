#include "platform/clock.h"

#include <gtest/gtest.h>
#include <time.h>

namespace platform {
namespace {

struct DeadlineCase {
  const char* name;
  Tick now;
  Tick deadline;
  bool passed;
};

const DeadlineCase kDeadlineCases[] = {
    {"reached exactly", 1000, 1000, true},
    {"one before", 999, 1000, false},
    {"one after", 1001, 1000, true},
    {"ahead across the wrap", 0xFFFFFFF0u, 0x00000010u, false},
    {"last tick before the wrap, deadline at 0", 0xFFFFFFFFu, 0x00000000u, false},
    {"past, deadline just before the wrap", 0x00000000u, 0xFFFFFFFFu, true},
    {"wrapped but not yet there", 0x00000005u, 0x00000010u, false},
    {"wrapped and past", 0x00000020u, 0x00000010u, true},
    {"longest wait ahead, 2^31-1 ms", 0x10000000u, 0x10000000u + 0x7FFFFFFFu, false},
    {"2^31-1 ms behind counts as passed", 0x8FFFFFFFu, 0x10000000u, true},
    {"a week-long wait does not look passed", 0u, 7u * 24 * 3600 * 1000, false},
};

TEST(DeadlinePassed, WrapSafeTable) {
  for (const DeadlineCase& c : kDeadlineCases) {
    EXPECT_EQ(DeadlinePassed(c.now, c.deadline), c.passed) << c.name;
  }
}

TEST(DeadlinePassed, TimeOutStraddlingTheWrapLastsItsLength) {
  ScopedVirtualClock time(0xFFFFFF00u);
  const Tick deadline = TickCount() + 0x200;  // ends at 0x100 after the wrap
  time.clock().Advance(0x1FF);
  EXPECT_FALSE(DeadlinePassed(TickCount(), deadline));
  time.clock().Advance(1);
  EXPECT_TRUE(DeadlinePassed(TickCount(), deadline));
}

TEST(Clock, VirtualClockInstalledAndRestored) {
  Clock* monotonic = &CurrentClock();
  {
    ScopedVirtualClock time(1234);
    EXPECT_EQ(&CurrentClock(), &time.clock());
    EXPECT_EQ(TickCount(), 1234u);
    CurrentClock().Sleep(20000);  // costs nothing
    EXPECT_EQ(TickCount(), 21234u);
  }
  EXPECT_EQ(&CurrentClock(), monotonic);
  VirtualClock other(7);
  SetClock(&other);
  EXPECT_EQ(TickCount(), 7u);
  SetClock(nullptr);
  EXPECT_EQ(&CurrentClock(), monotonic);
}

Tick MonotonicTick() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<Tick>(static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

TEST(Clock, RealTickIsMonotonicMillisecondsCutTo32Bits) {
  const Tick before = MonotonicTick();
  const Tick tick = TickCount();
  const Tick after = MonotonicTick();
  EXPECT_LE(static_cast<uint32_t>(tick - before), static_cast<uint32_t>(after - before));
}

TEST(Clock, RealSleepLetsTheTimePass) {
  const Tick start = TickCount();
  CurrentClock().Sleep(15);
  EXPECT_GE(static_cast<uint32_t>(TickCount() - start), 15u);
}

}  // namespace
}  // namespace platform
