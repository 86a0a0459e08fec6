#include "platform/windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace platform {
namespace {

struct Seen {
  WindowId window;
  uint32_t msg;
  uintptr_t wparam;
  intptr_t lparam;
  bool operator==(const Seen&) const = default;
};

// Every test leaves the process-wide queue as it found it: empty, no quit, no hook.
class WindowsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (WindowId w : windows_) DestroyWindow(w);
    SetPumpHook(nullptr);
    TakeQuit(nullptr);
    Pump();
  }

  WindowId Recording(std::vector<Seen>* seen) {
    return Own(CreateWindow([seen](WindowId w, uint32_t m, uintptr_t wp, intptr_t lp) {
      seen->push_back({w, m, wp, lp});
    }));
  }
  WindowId Own(WindowId w) {
    windows_.push_back(w);
    return w;
  }

  std::vector<WindowId> windows_;
};

TEST(RegisterMessage, SameNameSameIdFrom0xC000) {
  const uint32_t progress = RegisterMessage("WM_USER_TepixProgress");
  const uint32_t other = RegisterMessage("vq3-test-other");
  EXPECT_GE(progress, 0xC000u);
  EXPECT_LE(progress, 0xFFFFu);
  EXPECT_GE(other, 0xC000u);
  EXPECT_NE(progress, other);
  EXPECT_EQ(RegisterMessage("WM_USER_TepixProgress"), progress);
  EXPECT_EQ(RegisterMessage(std::string("WM_USER_TepixProgress").c_str()), progress);
  EXPECT_EQ(RegisterMessage(""), 0u);
  EXPECT_EQ(RegisterMessage(nullptr), 0u);
}

// The id range ends at 0xFFFF; a name beyond it gets 0, as a failed
// registration, and the names registered before keep their ids. Run in a
// child process so the used-up range does not reach other tests.
TEST(RegisterMessageDeathTest, RunningOutOfIdsGivesZero) {
  EXPECT_EXIT(
      {
        const uint32_t first = RegisterMessage("vq3-first");
        uint32_t last = first;
        for (int i = 0; last != 0; ++i)
          last = RegisterMessage(("vq3-" + std::to_string(i)).c_str());
        const bool ok = RegisterMessage("vq3-first") == first &&
                        RegisterMessage("vq3-one-more") == 0 && RegisterMessage("vq3-0") != 0;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(WindowsTest, IdsAreNonZeroAndDistinct) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  const WindowId b = Recording(&seen);
  EXPECT_NE(a, 0u);
  EXPECT_NE(b, 0u);
  EXPECT_NE(a, b);
}

TEST_F(WindowsTest, PumpDispatchesInOrderWithParameters) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  const WindowId b = Recording(&seen);
  EXPECT_TRUE(PostMessage(a, 0xC001, 1, -1));
  EXPECT_TRUE(PostMessage(b, 0xC002, 2, 0x7FFFFFFF));
  EXPECT_TRUE(PostMessage(a, 0xC003, UINTPTR_MAX, 3));
  EXPECT_TRUE(seen.empty()) << "posting must not dispatch";
  EXPECT_TRUE(Pump());
  const std::vector<Seen> expected = {
      {a, 0xC001, 1, -1}, {b, 0xC002, 2, 0x7FFFFFFF}, {a, 0xC003, UINTPTR_MAX, 3}};
  EXPECT_EQ(seen, expected);
  seen.clear();
  EXPECT_TRUE(Pump());
  EXPECT_TRUE(seen.empty()) << "each message is dispatched once";
}

TEST_F(WindowsTest, PostToNoWindowOrDestroyedWindowIsANoOp) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  DestroyWindow(a);
  EXPECT_FALSE(PostMessage(0, 0xC001, 0, 0));
  EXPECT_FALSE(PostMessage(a, 0xC001, 0, 0));
  EXPECT_FALSE(PostMessage(0x7FFFFFF0u, 0xC001, 0, 0));
  Pump();
  EXPECT_TRUE(seen.empty());
}

TEST_F(WindowsTest, DestroyDropsQueuedMessagesOfThatWindowOnly) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  const WindowId b = Recording(&seen);
  PostMessage(a, 1, 0, 0);
  PostMessage(b, 2, 0, 0);
  PostMessage(a, 3, 0, 0);
  DestroyWindow(a);
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{b, 2, 0, 0}}));
}

TEST_F(WindowsTest, MessagesPostedWhileDispatchingAreDispatchedInTheSamePump) {
  std::vector<Seen> seen;
  const WindowId target = Recording(&seen);
  const WindowId relay = Own(CreateWindow([&](WindowId, uint32_t msg, uintptr_t, intptr_t) {
    if (msg < 3) PostMessage(target, msg + 1, 0, 0);
  }));
  PostMessage(relay, 0, 0, 0);
  PostMessage(relay, 2, 0, 0);
  EXPECT_TRUE(Pump());
  EXPECT_EQ(seen, (std::vector<Seen>{{target, 1, 0, 0}, {target, 3, 0, 0}}));
}

TEST_F(WindowsTest, ProcedureMayDestroyItselfAndCreateWindowsWhileDispatched) {
  std::vector<Seen> seen;
  WindowId self = 0;
  WindowId created = 0;
  self = CreateWindow([&](WindowId w, uint32_t msg, uintptr_t, intptr_t) {
    seen.push_back({w, msg, 0, 0});
    DestroyWindow(self);  // the running procedure must survive this
    created = Own(CreateWindow([&](WindowId c, uint32_t m, uintptr_t, intptr_t) {
      seen.push_back({c, m, 0, 0});
    }));
    PostMessage(created, 9, 0, 0);
  });
  PostMessage(self, 1, 0, 0);
  PostMessage(self, 2, 0, 0);  // dropped: the window is gone by then
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{self, 1, 0, 0}, {created, 9, 0, 0}}));
  EXPECT_FALSE(IsWindowEnabled(self));
}

// The link library pumps while a window procedure (the Update click) runs.
TEST_F(WindowsTest, PumpInsideADispatchedProcedureDispatchesEachMessageOnce) {
  std::vector<Seen> seen;
  const WindowId inner = Recording(&seen);
  const WindowId outer = Own(CreateWindow([&](WindowId w, uint32_t msg, uintptr_t, intptr_t) {
    seen.push_back({w, msg, 0, 0});
    if (msg == 1) {
      PostMessage(inner, 2, 0, 0);
      Pump();
    }
  }));
  PostMessage(outer, 1, 0, 0);
  PostMessage(outer, 3, 0, 0);
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{outer, 1, 0, 0}, {outer, 3, 0, 0}, {inner, 2, 0, 0}}));
}

TEST_F(WindowsTest, QuitStaysPendingUntilTaken) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  PostQuit(3);
  PostMessage(a, 5, 0, 0);
  EXPECT_FALSE(Pump());
  EXPECT_EQ(seen.size(), 1u) << "a pending quit does not hold back messages";
  EXPECT_FALSE(Pump()) << "the quit request must not be lost by pumping";
  int code = 0;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(code, 3);
  EXPECT_FALSE(TakeQuit(&code));
  EXPECT_TRUE(Pump());
}

TEST_F(WindowsTest, HookRunsOncePerPumpAfterTheMessages) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  std::vector<size_t> dispatched_at_hook;
  SetPumpHook([&] { dispatched_at_hook.push_back(seen.size()); });
  PostMessage(a, 1, 0, 0);
  PostMessage(a, 2, 0, 0);
  Pump();
  Pump();  // an empty queue still turns the host's loop
  EXPECT_EQ(dispatched_at_hook, (std::vector<size_t>{2, 2}));
  SetPumpHook(nullptr);
  Pump();
  EXPECT_EQ(dispatched_at_hook.size(), 2u);
}

TEST_F(WindowsTest, EnableIsToldToTheProcedureOnlyOnChange) {
  std::vector<Seen> seen;
  const WindowId a = Recording(&seen);
  EXPECT_TRUE(IsWindowEnabled(a)) << "windows start enabled";
  EXPECT_TRUE(EnableWindow(a, false)) << "returns the previous state";
  EXPECT_FALSE(IsWindowEnabled(a));
  EXPECT_FALSE(EnableWindow(a, false));
  EXPECT_FALSE(EnableWindow(a, true));
  EXPECT_TRUE(EnableWindow(a, true));
  EXPECT_EQ(seen, (std::vector<Seen>{{a, kMsgEnable, 0, 0}, {a, kMsgEnable, 1, 0}}))
      << "sent at once, not queued, and only for a change";
}

TEST_F(WindowsTest, EnableOnNoWindowHasNoEffect) {
  EXPECT_FALSE(IsWindowEnabled(0));
  EXPECT_FALSE(EnableWindow(0, true));
  EXPECT_FALSE(IsWindowEnabled(0));
  std::vector<Seen> seen;
  const WindowId gone = Recording(&seen);
  DestroyWindow(gone);
  EXPECT_FALSE(EnableWindow(gone, true));
  EXPECT_FALSE(IsWindowEnabled(gone));
  EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace platform
