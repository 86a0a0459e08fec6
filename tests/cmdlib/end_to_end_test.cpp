// Whole updates: the real libTPXCmd.so, loaded by name, drives the real
// libZEPComm.so against the simulated organizer on a pseudo-terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "orgsim/orgsim.h"
#include "platform/windows.h"
#include "tests/cmdlib/kit_files.h"
#include "tests/cmdlib/tpxcmd_library.h"

namespace tpxtest {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::Not;

constexpr char kPortName[] = "COM5";
constexpr uintptr_t kPosition = 1;
constexpr uintptr_t kTotal = 2;

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = LoadTpxCmd();
    ASSERT_NE(lib_, nullptr);
    setenv("XDG_CONFIG_HOME", config_home_.path().c_str(), 1);
    progress_message_ = platform::RegisterMessage("WM_USER_TepixProgress");
    window_ = platform::CreateWindow(
        [this](platform::WindowId, uint32_t msg, uintptr_t kind, intptr_t value) {
          if (msg != progress_message_) return;
          posts_.emplace_back(kind, value);
          if (kind == kPosition && value == cancel_at_position_) lib_->UserCancel(1);
        });
  }
  void TearDown() override {
    if (sim_) sim_->Stop();
    platform::DestroyWindow(window_);
    unsetenv("XDG_CONFIG_HOME");
  }

  void StartSimulator(const orgsim::Config& config) {
    sim_ = std::make_unique<orgsim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    ASSERT_TRUE(sim_->LinkAs(kPortName, &error)) << error;
  }
  void WriteKit(uint32_t kb, bool scrambled) {
    std::string error;
    std::optional<orgsim::Kit> kit = orgsim::WriteKit(kit_dir_.path(), kb, scrambled, &error);
    ASSERT_TRUE(kit.has_value()) << error;
    kit_ = *kit;
  }
  // The application's road: init, open, opening message, reprogramming, close.
  uint8_t Update(int32_t send_command = 1) {
    EXPECT_EQ(lib_->Init(window_), 1);
    lib_->UseWM(1);
    lib_->SetReproStatus(0);
    lib_->UserCancel(0);
    lib_->SetSpeed(9600);
    EXPECT_EQ(lib_->Open(kPortName), 1);
    if (send_command != 0) {
      EXPECT_EQ(lib_->ReceiveStart(), 1);
    }
    uint8_t result =
        lib_->WsysPatchSendVQ3(kit_.rom_path.c_str(), kit_.map_path.c_str(), 38400, send_command);
    // The simulated organizer formats only after its pause behind the ACK and
    // takes a hang-up in that pause as the end of the session, so the port
    // stays open until it has (a real organizer has the request at the ACK).
    if (result == 1) WaitForFormat();
    lib_->Close();
    platform::Pump();
    return result;
  }
  void WaitForFormat() const {
    for (int i = 0; i < 200 && !sim_->GetSummary().databank_formatted; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::vector<intptr_t> Positions() const {
    std::vector<intptr_t> out;
    for (auto [kind, value] : posts_) {
      if (kind == kPosition) out.push_back(value);
    }
    return out;
  }
  static std::vector<intptr_t> Range(intptr_t count) {
    std::vector<intptr_t> out;
    for (intptr_t i = 0; i < count; ++i) out.push_back(i);
    return out;
  }
  // The engine's texts of a complete run of `kb` kilobytes.
  static std::vector<std::string> CompleteRunTrace(uint32_t kb, uint16_t sum) {
    std::vector<std::string> lines = {"Init passed.",       "0000 = try",
                                      "Tune baud rate...",  "Unlock...",
                                      "Sending program...", "Sending first 64KB data..."};
    char text[32];
    for (uint32_t k = 0; k < kb; ++k) {
      if (k == 64) lines.push_back("Program remote flash...");
      std::snprintf(text, sizeof text, "%04X k", k);
      lines.push_back(text);
    }
    std::snprintf(text, sizeof text, "chksum = %X", sum);
    for (std::string line :
         {std::string("Verify checksum..."), std::string(text), std::string("Modify startup..."),
          std::string("Format databank..."), std::string("Finish.")}) {
      lines.push_back(line);
    }
    return lines;
  }

  const TpxCmdLibrary* lib_ = nullptr;
  TempDir config_home_, kit_dir_;
  TraceCapture trace_;
  std::unique_ptr<orgsim::Simulator> sim_;
  orgsim::Kit kit_;
  uint32_t progress_message_ = 0;
  platform::WindowId window_ = 0;
  std::vector<std::pair<uintptr_t, intptr_t>> posts_;
  intptr_t cancel_at_position_ = -1;
};

struct KitCase {
  uint32_t kb;
  bool scrambled;
};

class FullUpdateTest : public EndToEndTest, public ::testing::WithParamInterface<KitCase> {};

TEST_P(FullUpdateTest, FlashHoldsTheImageAndEveryKilobyteWasReported) {
  const KitCase c = GetParam();
  StartSimulator({});
  WriteKit(c.kb, c.scrambled);
  ASSERT_EQ(Update(), 1);
  EXPECT_EQ(lib_->GetReproStatus(), 2);
  std::vector<uint8_t> flash = sim_->Flash();
  ASSERT_GE(flash.size(), kit_.image.size());
  EXPECT_TRUE(std::equal(kit_.image.begin(), kit_.image.end(), flash.begin()));
  EXPECT_EQ(flash[kit_.jreprog], 0x00);
  EXPECT_EQ(flash[kit_.jreprog + 1], 0x00);
  orgsim::Summary summary = sim_->GetSummary();
  EXPECT_TRUE(summary.databank_formatted);
  EXPECT_EQ(summary.checksum_result, "pass");
  ASSERT_FALSE(posts_.empty());
  EXPECT_EQ(posts_.front(), (std::pair<uintptr_t, intptr_t>(kTotal, c.kb)));
  EXPECT_EQ(Positions(), Range(c.kb));
  EXPECT_EQ(trace_.Lines(), CompleteRunTrace(c.kb, Sum16(kit_.image, kit_.image.size())));
}

INSTANTIATE_TEST_SUITE_P(Kits, FullUpdateTest,
                         ::testing::Values(KitCase{72, false}, KitCase{136, true}),
                         [](const auto& info) {
                           return std::to_string(info.param.kb) +
                                  (info.param.scrambled ? "KBScrambled" : "KBPlain");
                         });

TEST_F(EndToEndTest, OrganizerWaitingInItsLoaderGetsNoPatchCommand) {
  orgsim::Config config;
  config.start_in_loader = true;
  StartSimulator(config);
  WriteKit(64, false);
  ASSERT_EQ(Update(0), 1);
  orgsim::Summary summary = sim_->GetSummary();
  EXPECT_EQ(summary.patch_send, 0u);
  EXPECT_EQ(summary.unknown_commands, 0u);
  EXPECT_EQ(summary.ready_queries, 1u);
  EXPECT_EQ(lib_->GetReproStatus(), 2);
}

TEST_F(EndToEndTest, BusyLoaderIsAskedUntilReady) {
  orgsim::Config config;
  config.busy_replies = 3;
  StartSimulator(config);
  WriteKit(64, false);
  ASSERT_EQ(Update(), 1);
  EXPECT_EQ(sim_->GetSummary().ready_queries, 4u);
  std::vector<std::string> lines = trace_.Lines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
            (std::vector<std::string>{"Init passed.", "0000 = try", "0001 = try", "0002 = try",
                                      "0003 = try", "Tune baud rate..."}));
}

TEST_F(EndToEndTest, SilenceDuringStagingEndsTheRunWithTheOrganizerTouched) {
  // Packets from the host: 1 the patch command, 2 the ready query, 3 to 18
  // steps 0 to 2, then per staged bank a set-bank call and eight write
  // requests each followed by the block: block 20 (bank 2, block 4) is 62.
  orgsim::Config config;
  config.faults.silence_from_packet = 62;
  StartSimulator(config);
  WriteKit(72, false);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Update(), 0);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 60.0);  // two ENQ phases of ten seconds, and the staging before
  EXPECT_EQ(lib_->GetReproStatus(), 1);
  EXPECT_EQ(Positions(), Range(21));  // block 20 is reported before its failure is seen
  EXPECT_THAT(sim_->GetSummary().faults_fired, Contains("silence from packet 62"));
  EXPECT_THAT(trace_.Lines(), Not(Contains("Program remote flash...")));
}

TEST_F(EndToEndTest, CancelFromTheOwnerWindowEndsTheRun) {
  StartSimulator({});
  WriteKit(72, false);
  cancel_at_position_ = 66;  // during the flash step
  EXPECT_EQ(Update(), 0);
  EXPECT_EQ(lib_->GetReproStatus(), 1);
  std::vector<std::string> lines = trace_.Lines();
  EXPECT_THAT(lines, Contains("Program remote flash..."));
  EXPECT_THAT(lines, Not(Contains("Verify checksum...")));
  EXPECT_THAT(lines, Not(Contains("Finish.")));
  orgsim::Summary summary = sim_->GetSummary();
  EXPECT_EQ(summary.checksum_result, "none");
  EXPECT_FALSE(summary.databank_formatted);
  EXPECT_LE(Positions().back(), 67);
  lib_->UserCancel(0);
}

}  // namespace
}  // namespace tpxtest
