// The reprogramming engine against the recording fake: the packets of each
// step byte for byte, the ready loop, the start-up patch and checksum, the
// progress posts and traces, and how a run ends early.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "cmdlib/library_state.h"
#include "cmdlib/repro_engine.h"
#include "cmdlib/repro_files.h"
#include "platform/clock.h"
#include "platform/windows.h"
#include "tests/cmdlib/kit_files.h"
#include "tests/cmdlib/recording_link.h"

namespace tpxtest {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

// A request as it goes on the wire, in hex.
std::string Req(uint8_t op, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0, uint16_t p4 = 0,
                uint16_t entry = 0) {
  uint8_t b[12] = {op,
                   0,
                   uint8_t(p1),
                   uint8_t(p1 >> 8),
                   uint8_t(p2),
                   uint8_t(p2 >> 8),
                   uint8_t(p3),
                   uint8_t(p3 >> 8),
                   uint8_t(p4),
                   uint8_t(p4 >> 8),
                   uint8_t(entry),
                   uint8_t(entry >> 8)};
  return Hex(b, 12);
}
std::string Ready() {
  return Req(2);
}
std::string Write(uint16_t at, uint16_t n) {
  return Req(4, at, n);
}
std::string Call(uint16_t entry, uint16_t a = 0, uint16_t b = 0, uint16_t c = 0, uint16_t d = 0) {
  return Req(5, a, b, c, d, entry);
}
std::string Data(size_t n) {
  return "[" + std::to_string(n) + " bytes]";
}

class ReproEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Restart();
    image_ = MakeImage(0x12000, layout_.jreprog);
    WriteKit();
  }
  void TearDown() override {
    ResetFake();
    platform::DestroyWindow(window_);
  }
  // A fresh library with the fake bound, the port open and posting on.
  void Restart() {
    ResetFake();
    Fake().Init(window_);
    Fake().OpenPort();
    tpx::UseWM(1);
  }
  // The log line of a packet sent by the engine.
  std::string Sent(const std::string& hex, int count = 12) const {
    return "SendZep1Packet(" + std::to_string(window_) + ", 5, " + hex + ", " +
           std::to_string(count) + ", FFFF)";
  }
  std::string StatusReceive(int capacity = 1) const {
    return "ReceiveZep(" + std::to_string(window_) + ", 5, area, " + std::to_string(capacity) +
           ", &n, 10000, 0)";
  }
  void WriteKit() {
    WriteRom(rom_, image_, scrambling_);
    WriteText(map_, MapText(layout_));
  }
  uint8_t Run(int32_t baud = 38400, int32_t send_command = 0) {
    uint8_t result = tpx::WsysPatchSendVQ3(rom_.c_str(), map_.c_str(), baud, send_command);
    platform::Pump();
    return result;
  }
  // The packets, requests in hex and data by size.
  std::vector<std::string> Packets() const {
    std::vector<std::string> out;
    for (const auto& p : Fake().packets)
      out.push_back(p.size() == 12 ? Hex(p.data(), 12) : Data(p.size()));
    return out;
  }
  std::vector<intptr_t> Positions() const {
    std::vector<intptr_t> out;
    for (auto [kind, value] : posts_) {
      if (kind == 1) out.push_back(value);
    }
    return out;
  }
  // The staged block `index` as it was sent.
  std::vector<uint8_t> StagedBlock(size_t index) const {
    size_t seen = 0;
    for (const auto& p : Fake().packets) {
      if (p.size() == 1024 && seen++ == index) return p;
    }
    return {};
  }
  void FailStatusWhen(std::function<bool(const std::vector<uint8_t>& request)> when) {
    Fake().on_packet = [this, when](size_t, const std::vector<uint8_t>& data) {
      if (data.size() == 12 && when(data)) fail_next_status_ = true;
      return 1;
    };
    Fake().default_reply = [this](int32_t capacity) {
      Reply r{1, std::vector<uint8_t>(static_cast<size_t>(capacity), 0)};
      if (fail_next_status_ && capacity == 1) {
        r.bytes[0] = 0x07;
        fail_next_status_ = false;
      }
      return r;
    };
  }

  KitLayout layout_;
  Scrambling scrambling_;
  std::vector<uint8_t> image_;
  TempDir dir_;
  std::string rom_ = dir_.File("kit.rom"), map_ = dir_.File("kit.map");
  TraceCapture trace_;
  bool fail_next_status_ = false;
  std::vector<std::pair<uintptr_t, intptr_t>> posts_;
  platform::WindowId window_ =
      platform::CreateWindow([this](platform::WindowId, uint32_t msg, uintptr_t w, intptr_t l) {
        if (msg == tpx::State().progressMessage) posts_.emplace_back(w, l);
      });
};

// Every packet of a 72 KB run, from the step table.
std::vector<std::string> FullRunPackets(uint16_t expected_sum) {
  std::vector<std::string> p = {Ready()};
  auto write = [&p](uint16_t at, uint16_t n) {
    p.push_back(Write(at, n));
    p.push_back(Data(n));
  };
  write(0xE300, 64);  // step 0
  p.push_back(Call(0xE300, 4));
  write(0xE300, 128);  // step 1
  p.push_back(Call(0xE300));
  write(0xE300, 256);  // step 2
  write(0xE800, 128);
  write(0xC000, 2);
  write(0xC002, 2);
  write(0xC004, 2);
  for (uint16_t i = 0; i < 8; ++i) {  // step 3
    p.push_back(Call(0xE800, 0x418 + i));
    for (uint16_t j = 0; j < 8; ++j) write(0xA000 + j * 0x400, 1024);
  }
  write(0xE880, 256);  // step 4
  p.push_back(Call(0xE880));
  for (uint16_t j = 0; j < 8; ++j) {
    write(0xE400, 1024);
    p.push_back(Call(0xE300, 0xA000 + j * 0x400, 0xE400, 0x400, 8));
  }
  write(0xE400, 256);  // step 5
  p.push_back(Call(0xE400, expected_sum));
  write(0xE400, 2);  // step 6
  p.push_back(Call(0xE300, 0x1234, 0xE400, 2, 0));
  p.push_back(Req(3, 0x1234, 2));
  p.push_back(Call(0x2000));  // step 7
  return p;
}

TEST_F(ReproEngineTest, FullRunSendsEveryStepInOrder) {
  ASSERT_EQ(Run(), 1);
  uint16_t sum = Sum16(image_, image_.size());
  EXPECT_THAT(Packets(), ElementsAreArray(FullRunPackets(static_cast<uint16_t>(sum + 0x22))));
  EXPECT_EQ(tpx::State().reproStatus, 2);
  // Spot checks of the hex, straight from the request layout.
  EXPECT_EQ(Packets()[0], "02 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(Packets()[3], "05 00 04 00 00 00 00 00 00 00 00 E3");
  EXPECT_EQ(Packets().back(), "05 00 00 00 00 00 00 00 00 00 00 20");
  // Posts: the total, then every kilobyte in order.
  ASSERT_FALSE(posts_.empty());
  EXPECT_EQ(posts_.front(), (std::pair<uintptr_t, intptr_t>(2, 72)));
  std::vector<intptr_t> all(72);
  for (intptr_t i = 0; i < 72; ++i) all[static_cast<size_t>(i)] = i;
  EXPECT_EQ(Positions(), all);
  EXPECT_EQ(posts_.size(), 73u);
}

TEST_F(ReproEngineTest, TracesEveryPhaseInOrder) {
  ASSERT_EQ(Run(), 1);
  std::vector<std::string> expected = {"Init passed.",       "0000 = try",
                                       "Tune baud rate...",  "Unlock...",
                                       "Sending program...", "Sending first 64KB data..."};
  char line[32];
  for (int k = 0; k < 64; ++k) {
    std::snprintf(line, sizeof line, "%04X k", k);
    expected.push_back(line);
  }
  expected.push_back("Program remote flash...");
  for (int k = 64; k < 72; ++k) {
    std::snprintf(line, sizeof line, "%04X k", k);
    expected.push_back(line);
  }
  std::snprintf(line, sizeof line, "chksum = %X", Sum16(image_, image_.size()));
  for (const char* text : {"Verify checksum...", static_cast<const char*>(line),
                           "Modify startup...", "Format databank...", "Finish."}) {
    expected.push_back(text);
  }
  EXPECT_EQ(trace_.Lines(), expected);
}

TEST_F(ReproEngineTest, LinkCallsCarryTheEngineArguments) {
  ASSERT_EQ(Run(), 1);
  const auto& calls = Fake().calls;
  // The first exchanges: ready query and its one-byte reply, then step 0.
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(calls[0], Sent(Ready()));
  EXPECT_EQ(calls[1], StatusReceive());
  EXPECT_EQ(calls[2], Sent(Write(0xE300, 64)));
  EXPECT_EQ(calls[3], Sent(Data(64), 64));
  EXPECT_EQ(calls[5], Sent(Call(0xE300, 4)));
  // The PC switches before the tuned status arrives.
  EXPECT_EQ(calls[6], "ZEPSetSpeed(5, 38400)");
  EXPECT_EQ(calls[7], StatusReceive());
  // Step 6 reads two bytes back; step 7 awaits nothing.
  EXPECT_THAT(calls, Contains(StatusReceive(2)));
  EXPECT_EQ(calls.back(), Sent(Call(0x2000)));
}

TEST_F(ReproEngineTest, SendCommandFlagDecidesTheFirstPacket) {
  ASSERT_EQ(Run(38400, 0x100), 1);  // low byte 0: straight to the ready query
  EXPECT_EQ(Fake().calls.front(), Sent(Ready()));
  ResetFake();
  Fake().Init(window_);
  Fake().OpenPort();
  ASSERT_EQ(Run(38400, 1), 1);
  EXPECT_THAT(std::vector<std::string>(Fake().calls.begin(), Fake().calls.begin() + 3),
              ElementsAre("ClearErrorStatus()",
                          "SendZep(" + std::to_string(window_) +
                              ", 5, 57 53 59 53 20 50 41 54 43 48 20 53 45 4E 44 00, 16, 60000, 0)",
                          Sent(Ready())));
}

TEST_F(ReproEngineTest, TuneArgumentAndPcSpeedFollowTransferBaud) {
  const std::tuple<int32_t, uint16_t, const char*> rows[] = {{19200, 8, "ZEPSetSpeed(5, 19200)"},
                                                             {38400, 4, "ZEPSetSpeed(5, 38400)"},
                                                             {9600, 4, "ZEPSetSpeed(5, 38400)"}};
  for (const auto& [baud, arg, speed] : rows) {
    Restart();
    ASSERT_EQ(Run(baud), 1) << baud;
    EXPECT_EQ(Packets()[3], Call(0xE300, arg)) << baud;
    EXPECT_THAT(Fake().calls, Contains(speed)) << baud;
  }
}

TEST_F(ReproEngineTest, BusyLoaderIsQueriedAgainAndCounted) {
  Fake().replies = {{1, {0x01}}, {1, {0x01}}, {1, {0x01}}, {1, {0x00}}};
  std::vector<int32_t> status_at_receive;
  Fake().on_receive = [&] { status_at_receive.push_back(tpx::State().reproStatus); };
  ASSERT_EQ(Run(), 1);
  std::vector<std::string> packets = Packets();
  ASSERT_GT(packets.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(packets.begin(), packets.begin() + 5),
            (std::vector<std::string>{Ready(), Ready(), Ready(), Ready(), Write(0xE300, 64)}));
  std::vector<std::string> lines = trace_.Lines();
  ASSERT_GT(lines.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 6),
            (std::vector<std::string>{"0000 = try", "0001 = try", "0002 = try", "0003 = try",
                                      "Tune baud rate..."}));
  // The status moves to 1 only once the loader answered 0.
  ASSERT_GT(status_at_receive.size(), 5u);
  EXPECT_EQ(std::vector<int32_t>(status_at_receive.begin(), status_at_receive.begin() + 5),
            (std::vector<int32_t>{0, 0, 0, 0, 1}));
}

TEST_F(ReproEngineTest, LoaderBusyForTwoMinutesEndsTheRunUntouched) {
  platform::ScopedVirtualClock clock;
  Fake().default_reply = [](int32_t capacity) {
    return Reply{1, std::vector<uint8_t>(static_cast<size_t>(capacity), 0x01)};
  };
  Fake().on_receive = [&clock] { clock.clock().Advance(1000); };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(tpx::State().reproStatus, 0);
  EXPECT_EQ(Fake().packets.size(), 120u);  // one query a virtual second
  EXPECT_EQ(trace_.Lines().back(), "Remote terminal not ready.");
  EXPECT_THAT(trace_.Lines(), Contains("0078 = try"));  // the 8-bit count: 120 busy replies
  EXPECT_TRUE(tpx::Engine().rom.romPath.empty());       // released
}

TEST_F(ReproEngineTest, CancelWhileLoaderIsBusyStopsQuerying) {
  Fake().default_reply = [](int32_t capacity) {
    return Reply{1, std::vector<uint8_t>(static_cast<size_t>(capacity), 0x01)};
  };
  int replies = 0;
  Fake().on_receive = [&replies] {
    if (++replies == 3) tpx::UserCancel(1);
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Fake().packets.size(), 3u);
  EXPECT_EQ(tpx::State().reproStatus, 0);
  EXPECT_EQ(trace_.Lines().back(), "0003 = try");
}

TEST_F(ReproEngineTest, StartupPatchAndExpectedChecksum) {
  struct Row {
    const char* name;
    uint32_t jreprog, reprog;
    size_t block, offset;  // where 0x18 goes, as staged block and offset
    size_t disp_block, disp_offset;
    uint8_t displacement;
  };
  const Row rows[] = {
      {"forward jump", 0x1234, 0x1240, 4, 0x234, 4, 0x235, 0x0A},
      {"last byte of a kilobyte", 0x13FF, 0x1410, 4, 0x3FF, 5, 0x000, 0x0F},
      {"last byte of a bank", 0x3FFF, 0x3FF0, 15, 0x3FF, 16, 0x000, 0xEF},
      {"backward jump", 0x5FF0, 0x5F80, 23, 0x3F0, 23, 0x3F1, 0x8E},
  };
  for (const Row& row : rows) {
    Restart();
    layout_.jreprog = row.jreprog;
    layout_.reprog = row.reprog;
    image_ = MakeImage(0x12000, row.jreprog);
    WriteKit();
    ASSERT_EQ(Run(), 1) << row.name;
    std::vector<uint8_t> expected_block =
        std::vector<uint8_t>(image_.begin() + static_cast<long>(row.block * 1024),
                             image_.begin() + static_cast<long>(row.block * 1024 + 1024));
    expected_block[row.offset] = 0x18;
    if (row.disp_block == row.block) expected_block[row.disp_offset] = row.displacement;
    EXPECT_EQ(StagedBlock(row.block), expected_block) << row.name;
    EXPECT_EQ(StagedBlock(row.disp_block)[row.disp_offset], row.displacement) << row.name;
    uint16_t sum = static_cast<uint16_t>(Sum16(image_, image_.size()) + 0x18 + row.displacement);
    EXPECT_THAT(Packets(), Contains(Call(0xE400, sum))) << row.name;
    EXPECT_THAT(Packets(), Contains(Req(3, static_cast<uint16_t>(row.jreprog), 2))) << row.name;
  }
}

TEST_F(ReproEngineTest, ScrambledKitGoesOutUnscrambled) {
  scrambling_ = {true, 5, 0xA7};
  WriteKit();
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(StagedBlock(0), std::vector<uint8_t>(image_.begin(), image_.begin() + 1024));
  EXPECT_EQ(StagedBlock(71), std::vector<uint8_t>(image_.end() - 1024, image_.end()));
}

TEST_F(ReproEngineTest, RefusedStagedBlockIsStillReportedThenFails) {
  FailStatusWhen([](const std::vector<uint8_t>& r) {
    return r[0] == 4 && r[2] == 0x00 && r[3] == 0xB4;  // write to 0xB400: block 5
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(tpx::State().reproStatus, 1);
  EXPECT_EQ(Positions(), (std::vector<intptr_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(trace_.Lines().back(), "0005 k");
}

TEST_F(ReproEngineTest, RefusedFlashBlockIsNeitherTracedNorPosted) {
  FailStatusWhen([](const std::vector<uint8_t>& r) {
    return r[0] == 5 && r[10] == 0x00 && r[11] == 0xE3 && r[3] == 0xA8;  // program block 2
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(tpx::State().reproStatus, 1);
  EXPECT_EQ(Positions().back(), 65);
  EXPECT_EQ(trace_.Lines().back(), "0041 k");
}

TEST_F(ReproEngineTest, StartupReadBackMustBeZero) {
  Fake().default_reply = [](int32_t capacity) {
    if (capacity == 2) return Reply{1, {0x00, 0x18}};
    return Reply{1, {0x00}};
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(tpx::State().reproStatus, 1);
  EXPECT_EQ(trace_.Lines().back(), "Modify startup...");
  EXPECT_THAT(Packets(), Not(Contains(Call(0x2000))));
}

TEST_F(ReproEngineTest, FlashStepProgramsEveryWholeKilobyte) {
  const std::pair<size_t, size_t> rows[] = {
      {0x10000, 64}, {0x10000 + 0x1000, 68}, {0x10000 + 0x2000, 72}};
  for (const auto& [length, total] : rows) {
    Restart();
    posts_.clear();
    image_ = MakeImage(length, layout_.jreprog);
    WriteKit();
    ASSERT_EQ(Run(), 1) << length;
    std::vector<intptr_t> all(total);
    for (size_t i = 0; i < total; ++i) all[i] = static_cast<intptr_t>(i);
    EXPECT_EQ(Positions(), all) << length;
    EXPECT_EQ(StagedBlock(total - 1), std::vector<uint8_t>(image_.end() - 1024, image_.end()))
        << length;
  }
}

TEST_F(ReproEngineTest, CancelNoticedAfterAStepSkipsTheRest) {
  Fake().on_packet = [](size_t, const std::vector<uint8_t>& data) {
    if (data.size() == 12 && data[0] == 4 && data[2] == 0x00 && data[3] == 0xC0) tpx::UserCancel(1);
    return tpx::State().userCancel != 0 ? 0 : 1;  // the link gives up while cancelled
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(tpx::State().reproStatus, 1);
  EXPECT_EQ(trace_.Lines().back(), "Sending program...");
  EXPECT_TRUE(Positions().empty());
}

TEST_F(ReproEngineTest, NothingIsSentWhenTheFilesDoNotLoadOrNoPortIsOpen) {
  WriteText(map_, "RemoteTuneRate 1000\n");
  EXPECT_EQ(Run(38400, 1), 0);
  EXPECT_THAT(Fake().calls, IsEmpty());
  WriteKit();
  tpx::Connection()->Close();
  Fake().calls.clear();
  EXPECT_EQ(Run(38400, 1), 0);
  EXPECT_THAT(Fake().calls, ElementsAre("ClearErrorStatus()"));
  EXPECT_EQ(tpx::State().reproStatus, 0);
}

TEST_F(ReproEngineTest, RomFileThatVanishesOrShrinksFailsItsStep) {
  const std::pair<bool, const char*> rows[] = {{true, "ROM File open failed!"},
                                               {false, "ROM File read failed!"}};
  for (const auto& [remove, text] : rows) {
    Restart();
    WriteKit();
    std::string rom = rom_;
    bool vanish = remove;
    Fake().on_packet = [rom, vanish](size_t index, const std::vector<uint8_t>&) {
      if (index == 1) {  // the first write request of step 0
        if (vanish)
          std::filesystem::remove(rom);
        else
          std::filesystem::resize_file(rom, 0x8000);
      }
      return 1;
    };
    TraceCapture trace;
    EXPECT_EQ(Run(), 0) << text;
    std::vector<std::string> lines = trace.Lines();
    EXPECT_THAT(lines, Contains(text));
    EXPECT_THAT(lines, Not(Contains("Program remote flash...")));
  }
}

}  // namespace
}  // namespace tpxtest
