#include "platform/memory_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;

// A far end scripted by a function; it counts its runs and the ticks it saw.
class ScriptPeer : public LinePeer {
 public:
  explicit ScriptPeer(std::function<void(MemoryLine&, Tick)> script) : script_(std::move(script)) {}
  void Run(MemoryLine& line, Tick now) override {
    ++runs;
    ticks.push_back(now);
    script_(line, now);
  }
  int runs = 0;
  std::vector<Tick> ticks;

 private:
  std::function<void(MemoryLine&, Tick)> script_;
};

Bytes ReadAll(MemoryLine& line, uint32_t max = 64) {
  Bytes got(max);
  const int32_t n = line.Read(got.data(), max);
  got.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return got;
}

TEST(MemoryLine, PeerAnswersWhatTheHostWrote) {
  // ENQ is answered with SYN, anything else with NAK.
  ScriptPeer peer([](MemoryLine& line, Tick) {
    for (uint8_t b : line.TakeFromHost())
      line.SendToHost({b == 0x05 ? uint8_t{0x16} : uint8_t{0x15}});
  });
  MemoryLine line(&peer);
  const uint8_t enq[] = {0x05, 0x41};
  EXPECT_EQ(line.Write(enq, 2), 2);
  EXPECT_EQ(line.InputQueued(), 2);
  EXPECT_EQ(ReadAll(line), (Bytes{0x16, 0x15}));
  EXPECT_EQ(line.written(), (Bytes{0x05, 0x41}));
  EXPECT_EQ(line.OutputQueued(), 0);
}

TEST(MemoryLine, ReadTakesAtMostMaxAndKeepsTheRest) {
  MemoryLine line;
  line.SendToHost({0x01, 0x02, 0x03, 0x04, 0x05});
  EXPECT_EQ(ReadAll(line, 2), (Bytes{0x01, 0x02}));
  EXPECT_EQ(line.pending_to_host(), 3u);
  EXPECT_EQ(ReadAll(line, 2048), (Bytes{0x03, 0x04, 0x05}));
  EXPECT_EQ(ReadAll(line, 16), Bytes{});
  EXPECT_EQ(line.largest_read_request(), 2048u);
}

TEST(MemoryLine, WaitReadableLetsVirtualTimePassUntilThePeerSpeaks) {
  ScopedVirtualClock time(0xFFFFF000u);  // the answer comes after the tick wrap
  const Tick answer_at = 0xFFFFF000u + 20000;
  ScriptPeer peer([&](MemoryLine& line, Tick now) {
    if (DeadlinePassed(now, answer_at) && line.pending_to_host() == 0) line.SendToHost({0x06});
  });
  MemoryLine line(&peer);
  EXPECT_EQ(line.WaitReadable(19999), WaitResult::kTimeout);
  EXPECT_EQ(TickCount(), answer_at - 1);
  EXPECT_EQ(line.WaitReadable(30000), WaitResult::kReady);
  EXPECT_EQ(TickCount(), answer_at) << "the wait ends as soon as the byte is there";
  EXPECT_EQ(peer.ticks.back(), answer_at) << "the peer runs with the current tick";
  EXPECT_EQ(line.WaitReadable(5000), WaitResult::kReady);
  EXPECT_EQ(TickCount(), answer_at) << "a waiting byte needs no time";
}

TEST(MemoryLine, WaitReadableOfZeroChecksOnce) {
  ScopedVirtualClock time(100);
  ScriptPeer peer([](MemoryLine&, Tick) {});
  MemoryLine line(&peer);
  EXPECT_EQ(line.WaitReadable(0), WaitResult::kTimeout);
  EXPECT_EQ(TickCount(), 100u);
  EXPECT_EQ(peer.runs, 1);
}

TEST(MemoryLine, HangUpMakesEveryHostOperationFail) {
  ScopedVirtualClock time;
  ScriptPeer peer([](MemoryLine& line, Tick now) {
    if (now >= 50) line.HangUp();
  });
  MemoryLine line(&peer);
  EXPECT_EQ(line.WaitReadable(1000), WaitResult::kGone);
  EXPECT_EQ(TickCount(), 50u) << "a hang-up ends the wait at once";
  EXPECT_TRUE(line.Gone());
  uint8_t byte = 0x05;
  EXPECT_EQ(line.Read(&byte, 1), -1);
  EXPECT_EQ(line.Write(&byte, 1), -1);
  EXPECT_EQ(line.InputQueued(), -1);
  EXPECT_EQ(line.OutputQueued(), -1);
  EXPECT_EQ(line.WaitReadable(1000), WaitResult::kGone);
  EXPECT_EQ(line.WaitWritable(1000), WaitResult::kGone);
  EXPECT_EQ(line.WaitDrained(1000), WaitResult::kGone);
  EXPECT_EQ(TickCount(), 50u) << "nothing waits on a dead line";
  EXPECT_FALSE(line.SetSpeed(9600));
  EXPECT_FALSE(line.ApplyLineSettings());
  EXPECT_FALSE(line.SetDtr(false));
  EXPECT_TRUE(line.written().empty());
}

TEST(MemoryLine, PeerUsingTheHostSideIsNotRunAgainFromThere) {
  int32_t seen_queued = -2;
  ScriptPeer peer([&](MemoryLine& line, Tick) {
    line.SendToHost({0xAA});
    seen_queued = line.InputQueued();  // would recurse without the guard
  });
  MemoryLine line(&peer);
  EXPECT_EQ(line.InputQueued(), 1);
  EXPECT_EQ(peer.runs, 1);
  EXPECT_EQ(seen_queued, 1);
}

TEST(MemoryLine, RecordsWhatTheHostDidToTheLine) {
  MemoryLine line;
  EXPECT_TRUE(line.ApplyLineSettings());
  EXPECT_TRUE(line.line_settings_applied());
  EXPECT_EQ(line.speed(), 9600u);
  EXPECT_TRUE(line.SetSpeed(38400));
  EXPECT_EQ(line.speed(), 38400u);
  EXPECT_TRUE(line.SetDtr(true));
  EXPECT_TRUE(line.SetRts(true));
  EXPECT_TRUE(line.dtr());
  EXPECT_TRUE(line.rts());
  line.SendToHost({0x01, 0x02});
  line.Purge(true, false);
  EXPECT_EQ(line.input_purges(), 0);
  EXPECT_EQ(line.pending_to_host(), 2u) << "purging output leaves input alone";
  line.Purge(true, true);
  EXPECT_EQ(line.input_purges(), 1);
  EXPECT_EQ(line.pending_to_host(), 0u);
  EXPECT_EQ(line.WaitWritable(0), WaitResult::kReady);
  EXPECT_EQ(line.WaitDrained(0), WaitResult::kReady);
}

}  // namespace
}  // namespace platform
