// The system commands, call by call against the recording fake: what is sent
// with which routine, into which receive area, and how the reply is judged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "cmdlib/library_state.h"
#include "cmdlib/system_commands.h"
#include "tests/cmdlib/recording_link.h"

namespace tpxtest {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Hex of the command texts with their terminating zero.
const std::string kReset = "57 53 59 53 20 52 45 53 45 54 00";
const std::string kQuit = "57 53 59 53 20 51 55 49 54 00";
const std::string kQimAll =
    "57 53 59 53 20 52 45 43 45 49 56 45 20 51 49 4D 5F 41 4C 4C 20 53 31 3A 00";
const std::string kBaud115200 = "57 53 59 53 20 53 45 54 20 42 41 55 44 20 00 20 00";

const std::string kClear = "ClearErrorStatus()";
const std::string kShow = "OutputMessage(7)";
const std::string kStatus = "GetErrorStatus()";
const std::string kReceive128 = "ReceiveZep(7, 5, area, 128, &n, 60000, 0)";
const std::string kRapid128 = "ReceiveZepRapid(7, 5, area, 128, &n, 60000, 0)";
const std::string kRapidQim = "ReceiveZepRapid(7, 5, area, 524288, &n, 60000, 0)";
std::string Send(const std::string& hex, int count) {
  return "SendZep(7, 5, " + hex + ", " + std::to_string(count) + ", 60000, 0)";
}

Reply Ok() {
  return {1, {0x4F, 0x4B}};
}

struct CommandCase {
  const char* name;
  bool port_open;
  std::vector<Reply> replies;
  std::deque<int32_t> send_results;
  int32_t error_after_receive;  // what GetErrorStatus reports
  std::function<uint8_t()> command;
  uint8_t result;
  std::vector<std::string> calls;
};

uint8_t QimAll() {
  void* block = reinterpret_cast<void*>(1);
  uint32_t length = 0;
  uint8_t result = tpx::WsysReceiveQimAll(&block, &length);
  EXPECT_EQ(block == nullptr, result == 0);
  std::free(block);
  return result;
}

const std::vector<CommandCase>& Cases() {
  static const std::vector<CommandCase> cases = {
      {"reset ok",
       true,
       {Ok()},
       {},
       0,
       tpx::WsysReset,
       1,
       {kClear, Send(kReset, 11), kReceive128, kShow}},
      {"reset ok and more bytes",
       true,
       {{1, {0x4F, 0x4B, 0x21, 0x00}}},
       {},
       0,
       tpx::WsysReset,
       1,
       {kClear, Send(kReset, 11), kReceive128, kShow}},
      {"reset refused",
       true,
       {{1, {0x4E, 0x4F}}},
       {},
       0,
       tpx::WsysReset,
       0,
       {kClear, Send(kReset, 11), kReceive128, kShow}},
      {"reset one byte O",
       true,
       {{1, {0x4F}}},
       {},
       0,
       tpx::WsysReset,
       0,
       {kClear, Send(kReset, 11), kReceive128, kShow}},
      {"reset send fails", true, {}, {0}, 0, tpx::WsysReset, 0, {kClear, Send(kReset, 11), kShow}},
      {"reset no reply",
       true,
       {{0, {}}},
       {},
       0,
       tpx::WsysReset,
       0,
       {kClear, Send(kReset, 11), kReceive128, kShow}},
      {"reset no port", false, {}, {}, 0, tpx::WsysReset, 0, {kClear, kShow}},
      {"quit ok",
       true,
       {Ok()},
       {},
       0,
       tpx::WsysQuit,
       1,
       {kClear, Send(kQuit, 10), kReceive128, kShow}},
      {"quit no port", false, {}, {}, 0, tpx::WsysQuit, 0, {kClear, kShow}},
      {"receive start ok",
       true,
       {{1, {0x41}}},
       {},
       0,
       tpx::ReceiveStart,
       1,
       {kClear, kRapid128, kStatus, kShow}},
      {"receive start status set",
       true,
       {{1, {0x41}}},
       {},
       -1,
       tpx::ReceiveStart,
       0,
       {kClear, kRapid128, kStatus, kShow}},
      {"receive start nothing",
       true,
       {{0, {}}},
       {},
       0,
       tpx::ReceiveStart,
       0,
       {kClear, kRapid128, kShow}},
      {"receive start no port", false, {}, {}, 0, tpx::ReceiveStart, 0, {kClear, kShow}},
      {"qim all ok",
       true,
       {{1, std::vector<uint8_t>(300, 0x41)}},
       {},
       0,
       QimAll,
       1,
       {kClear, Send(kQimAll, 25), kRapidQim, kStatus, kShow}},
      {"qim all empty message",
       true,
       {{1, {}}},
       {},
       0,
       QimAll,
       0,
       {kClear, Send(kQimAll, 25), kRapidQim, kShow}},
      {"qim all status set",
       true,
       {{1, {0x41}}},
       {},
       5,
       QimAll,
       0,
       {kClear, Send(kQimAll, 25), kRapidQim, kStatus, kShow}},
      {"qim all no port", false, {}, {}, 0, QimAll, 0, {kClear, kShow}},
      {"set baud 115200",
       true,
       {Ok()},
       {},
       0,
       [] { return tpx::WsysSetBaud(115200); },
       1,
       {kClear, Send(kBaud115200, 17), kReceive128, "ZEPSetSpeed(5, 115200)", kShow}},
      {"set baud refused keeps speed",
       true,
       {{1, {0x4E, 0x47}}},
       {},
       0,
       [] { return tpx::WsysSetBaud(115200); },
       0,
       {kClear, Send(kBaud115200, 17), kReceive128, kShow}},
      {"set baud 4800 touches nothing",
       true,
       {},
       {},
       0,
       [] { return tpx::WsysSetBaud(4800); },
       0,
       {}},
      {"set baud no port",
       false,
       {},
       {},
       0,
       [] { return tpx::WsysSetBaud(9600); },
       0,
       {kClear, kShow}},
  };
  return cases;
}

TEST(SystemCommandsTest, CallSequences) {
  for (const CommandCase& c : Cases()) {
    ResetFake();
    Fake().Init();
    if (c.port_open) Fake().OpenPort();
    Fake().replies.assign(c.replies.begin(), c.replies.end());
    Fake().send_results = c.send_results;
    // GetErrorStatus reports what the exchange left: set it as the reply lands.
    int32_t status = c.error_after_receive;
    Fake().on_receive = [status] { Fake().error_status = status; };
    EXPECT_EQ(c.command(), c.result) << c.name;
    EXPECT_THAT(Fake().calls, ElementsAreArray(c.calls)) << c.name;
  }
  ResetFake();
}

TEST(SystemCommandsTest, QimAllHandsOutExactlyTheReceivedBytes) {
  ResetFake();
  Fake().Init();
  Fake().OpenPort();
  std::vector<uint8_t> block_bytes(300);
  for (size_t i = 0; i < block_bytes.size(); ++i) block_bytes[i] = static_cast<uint8_t>(i * 7);
  Fake().replies = {{1, block_bytes}};
  void* block = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(tpx::WsysReceiveQimAll(&block, &length), 1);
  ASSERT_EQ(length, 300u);
  EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + 300),
            block_bytes);
  std::free(block);
  ResetFake();
}

TEST(SystemCommandsTest, SpeedCodesAndSetBaudRequest) {
  struct Row {
    uint32_t bps;
    int code;  // -1: none
  };
  const Row rows[] = {{2400, 0x01},   {9600, 0x02}, {19200, 0x04}, {38400, 0x08}, {57600, 0x10},
                      {115200, 0x20}, {4800, -1},   {0, -1},       {38401, -1}};
  for (const Row& row : rows) {
    std::optional<uint8_t> code = tpx::SpeedCode(row.bps);
    EXPECT_EQ(code.has_value() ? *code : -1, row.code) << row.bps;
  }
  auto request = tpx::SetBaudRequest(0x08);
  EXPECT_EQ(Hex(request.data(), request.size()),
            "57 53 59 53 20 53 45 54 20 42 41 55 44 20 00 08 00");
}

TEST(SystemCommandsTest, PatchCommandAwaitsNoReplyAndShowsNothing) {
  ResetFake();
  Fake().Init();
  Fake().OpenPort();
  EXPECT_TRUE(tpx::SendPatchCommand());
  EXPECT_THAT(
      Fake().calls,
      ElementsAreArray({kClear, Send("57 53 59 53 20 50 41 54 43 48 20 53 45 4E 44 00", 16)}));
  tpx::Connection()->Close();
  Fake().calls.clear();
  EXPECT_FALSE(tpx::SendPatchCommand());
  EXPECT_THAT(Fake().calls, ElementsAreArray({kClear}));
  ResetFake();
}

}  // namespace
}  // namespace tpxtest
