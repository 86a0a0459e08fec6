// Deadlines, wait steps, message pumping and the port reads under them.
#include <gtest/gtest.h>

#include <vector>

#include "link_fixture.h"
#include "linklib/link_state.h"
#include "linklib/port_io.h"
#include "platform/windows.h"

namespace {

using linktest::Bytes;
using linktest::Pattern;

class WaitsTest : public linktest::LinkFixture {
 protected:
  zep::CTimer& timer() { return zep::State().timer; }
};

TEST_F(WaitsTest, DeadlinesAcrossTheTickWrapNeitherExpireAtOnceNorLastForWeeks) {
  struct Case {
    platform::Tick start;
    uint32_t timeout;
  };
  for (const Case c : {Case{0xFFFFFF00u, 1000}, Case{0xFFFFFFFFu, 1}, Case{0x7FFFFFF0u, 100},
                       Case{0xFFFFFC18u, 1000}}) {
    clock_.clock().Set(c.start);
    const int slot = timer().Start(c.timeout);
    EXPECT_EQ(timer().Check(slot, 0), 0) << std::hex << c.start;
    clock_.clock().Advance(c.timeout - 1);
    EXPECT_EQ(timer().Check(slot, 0), 0) << std::hex << c.start;
    clock_.clock().Advance(1);
    EXPECT_EQ(timer().Check(slot, 0), 1) << std::hex << c.start;
    timer().Release(slot);
  }
}

TEST_F(WaitsTest, ZeroTimeoutMeansNoDeadline) {
  EXPECT_EQ(timer().Start(0), zep::CTimer::kNoDeadline);
  clock_.clock().Advance(0x7FFFFFFF);
  EXPECT_EQ(timer().Check(zep::CTimer::kNoDeadline, 0), 0);
  EXPECT_EQ(timer().InUse(), 0);
}

TEST_F(WaitsTest, WithAllSlotsInUseAWaitFailsItsStepInsteadOfBecomingEndless) {
  std::vector<int> held;
  for (int i = 0; i < zep::CTimer::kSlots; ++i) held.push_back(timer().Acquire());
  EXPECT_EQ(held.back(), 31);
  EXPECT_EQ(timer().Acquire(), zep::CTimer::kExhausted);
  EXPECT_EQ(timer().Start(1000), zep::CTimer::kExhausted);
  EXPECT_EQ(timer().Check(zep::CTimer::kExhausted, 0), 1);

  const platform::Tick start = Now();
  uint8_t buffer[64];
  int32_t n = 0;
  EXPECT_EQ(ReceiveZep(0, port_, buffer, sizeof buffer, &n, 0, 0), 0);
  EXPECT_EQ(SendZep(0, port_, "abc", 3, 0, 0), 0);
  EXPECT_LT(Now() - start, 50u);
  for (int slot : held) timer().Release(slot);
}

TEST_F(WaitsTest, DelayPumpsTheCallersMessagesWhileItWaits) {
  std::vector<platform::Tick> seen;
  const platform::WindowId window =
      platform::CreateWindow([&](platform::WindowId self, uint32_t msg, uintptr_t, intptr_t) {
        if (msg != 0x8001) return;
        seen.push_back(Now());
        if (seen.size() < 5) platform::PostMessage(self, 0x8001, 0, 0);  // arrives during the delay
      });
  platform::PostMessage(window, 0x8001, 0, 0);
  const platform::Tick start = Now();
  EXPECT_EQ(timer().Delay(50), 1);
  EXPECT_GE(Now() - start, 50u);
  EXPECT_LT(Now() - start, 55u);
  EXPECT_EQ(seen.size(), 5u);
  platform::DestroyWindow(window);
}

TEST_F(WaitsTest, QuitRequestTakenDuringAWaitIsKept) {
  platform::PostQuit(0);
  uint8_t buffer[16];
  int32_t n;
  EXPECT_EQ(ReceiveZepRapid(0, port_, buffer, sizeof buffer, &n, 0, 0), 0);
  EXPECT_EQ(zep::PumpMessages(), 0);
  int code = -1;
  EXPECT_TRUE(platform::TakeQuit(&code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(zep::PumpMessages(), 1);
}

TEST_F(WaitsTest, CheckAbortTellsCancelFromExpiry) {
  const int slot = timer().Start(100);
  EXPECT_EQ(zep::CheckAbort(slot), 0);
  clock_.clock().Advance(100);
  EXPECT_EQ(zep::CheckAbort(slot), 1);
  EXPECT_EQ(GetErrorStatus(), 0) << "expiry leaves the status alone";
  ZEPUserCancel(1);
  EXPECT_EQ(zep::CheckAbort(zep::CTimer::kNoDeadline), 1);
  EXPECT_EQ(GetErrorStatus(), -1);
  ZEPUserCancel(0);
  timer().Release(slot);
}

TEST_F(WaitsTest, CancelFromAWindowProcedureStopsTheTransferAndEveryLaterWait) {
  const platform::WindowId window =
      platform::CreateWindow([](platform::WindowId, uint32_t msg, uintptr_t, intptr_t) {
        if (msg == 0x8002) ZEPUserCancel(1);
      });
  platform::PostMessage(window, 0x8002, 0, 0);
  uint8_t buffer[16];
  int32_t n = 0;
  const platform::Tick start = Now();
  EXPECT_EQ(ReceiveZep(0, port_, buffer, sizeof buffer, &n, 0, 0), 0);
  EXPECT_EQ(GetErrorStatus(), -1);
  EXPECT_LT(Now() - start, 10u);

  ClearErrorStatus();  // not enough while the flag stays set
  EXPECT_EQ(SendZep(0, port_, "abc", 3, 0, 0), 0);
  EXPECT_EQ(GetErrorStatus(), -1);
  EXPECT_LT(Now() - start, 10u);

  ZEPUserCancel(0);
  ClearErrorStatus();
  line_->TakeFromHost();  // the ENQ written before the cancel was noticed
  linktest::ReceivingPeer peer;
  Attach(peer);
  EXPECT_EQ(SendZep(0, port_, "abc", 3, 0, 0), 1);
  platform::DestroyWindow(window);
}

TEST_F(WaitsTest, ReadAvailableNeverReadsPastTheReceiveBuffer) {
  const Bytes burst = Pattern(2560);  // what the driver's queue can hold
  line_->SendToHost(burst);
  zep::CCommPort port(port_, 0);
  ASSERT_EQ(zep::ReadAvailable(port), 2048);
  EXPECT_LE(line_->largest_read_request(), 2048u);
  EXPECT_EQ(line_->pending_to_host(), 512u) << "the rest stays queued";
  EXPECT_EQ(zep::ReadAvailable(port), 2048) << "unread bytes are counted without touching the port";
  Bytes got;
  for (int i = 0; i < 2048; ++i) got.push_back(zep::NextByte());
  ASSERT_EQ(zep::ReadAvailable(port), 512);
  for (int i = 0; i < 512; ++i) got.push_back(zep::NextByte());
  EXPECT_EQ(got, burst);
  EXPECT_EQ(zep::ReadAvailable(port), 0);
}

TEST_F(WaitsTest, VanishedDeviceFailsEveryWaitAtOnce) {
  line_->HangUp();
  zep::CCommPort port(port_, 0);
  EXPECT_EQ(zep::ReadAvailable(port), -1);
  const platform::Tick start = Now();
  EXPECT_EQ(SendZep(0, port_, "abc", 3, 0, 0), 0);
  uint8_t buffer[16];
  int32_t n;
  EXPECT_EQ(ReceiveZep(0, port_, buffer, sizeof buffer, &n, 0, 0), 0);
  EXPECT_EQ(Now() - start, 0u) << "no retries on a dead line";
}

}  // namespace
