// The simulator on a real pseudo-terminal with the shipped link library as
// the host: the opening message, messages of several packets both ways, a
// speed change, and each fault as the host meets it. Faults that make the
// host wait out its time limits run on a host clock twenty times as fast.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "linklib/linklib_exports.h"
#include "orgsim/orgsim.h"
#include "platform/clock.h"

namespace orgsim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Steady = std::chrono::steady_clock;

// Host time that runs `scale` times as fast as the organizer's.
class FastClock : public platform::Clock {
 public:
  explicit FastClock(uint32_t scale)
      : scale_(scale), start_(platform::TickCount()), real_start_(Steady::now()) {}
  platform::Tick Now() override {
    const auto real =
        std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - real_start_);
    return start_ + static_cast<platform::Tick>(real.count()) * scale_;
  }
  void Sleep(uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::microseconds(uint64_t{ms} * 1000 / scale_));
  }

 private:
  uint32_t scale_;
  platform::Tick start_;
  Steady::time_point real_start_;
};

class ScopedFastClock {
 public:
  explicit ScopedFastClock(uint32_t scale) : clock_(scale) { platform::SetClock(&clock_); }
  ~ScopedFastClock() { platform::SetClock(nullptr); }

 private:
  FastClock clock_;
};

Bytes Text(const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return b;
}

std::string AsText(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

Bytes Request(uint8_t op, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t entry = 0) {
  Bytes r(12, 0);
  r[0] = op;
  r[2] = static_cast<uint8_t>(p1);
  r[3] = static_cast<uint8_t>(p1 >> 8);
  r[4] = static_cast<uint8_t>(p2);
  r[5] = static_cast<uint8_t>(p2 >> 8);
  r[10] = static_cast<uint8_t>(entry);
  r[11] = static_cast<uint8_t>(entry >> 8);
  return r;
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() /
            ("orgsim-pty-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(home_);
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    setenv("XDG_STATE_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    if (port_ != ZEP_INVALID_PORT) CloseZep(port_);
    if (sim_) sim_->Stop();
    fs::remove_all(home_);
  }

  // Starts an organizer, links it as COM7 and opens it as the host does.
  void Connect(Config config) {
    sim_ = std::make_unique<Simulator>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    ASSERT_TRUE(sim_->LinkAs("COM7", &error)) << error;
    ASSERT_EQ(fs::read_symlink(home_ / "vq3upd/ports/COM7"), sim_->SlavePath());
    port_ = OpenZepByName("COM7");
    ASSERT_NE(port_, ZEP_INVALID_PORT);
    ClearErrorStatus();
  }

  // One whole message from the organizer, as the command library fetches it.
  bool Receive(Bytes* out, bool rapid = true, int32_t capacity = 524288) {
    out->assign(static_cast<size_t>(capacity), 0);
    int32_t length = 0;
    const int32_t ok = rapid ? ReceiveZepRapid(0, port_, out->data(), capacity, &length, 30000, 0)
                             : ReceiveZep(0, port_, out->data(), capacity, &length, 30000, 0);
    out->resize(static_cast<size_t>(length));
    return ok != 0;
  }
  bool Send(const Bytes& message) {
    return SendZep(0, port_, message.data(), static_cast<int32_t>(message.size()), 30000, 0) != 0;
  }
  bool SendPacket(const Bytes& message) {
    return SendZep1Packet(0, port_, message.data(), static_cast<uint16_t>(message.size()),
                          0xFFFF) != 0;
  }
  void ExpectOpening() {
    Bytes opening;
    ASSERT_TRUE(Receive(&opening));
    EXPECT_EQ(opening, Text("WSYS LINK"));
  }
  static Config InLoader() {
    Config c;
    c.start_in_loader = true;
    return c;
  }

  fs::path home_;
  std::unique_ptr<Simulator> sim_;
  int32_t port_ = ZEP_INVALID_PORT;
};

TEST_F(PtyTest, HostOpeningThePortGetsTheOpeningMessage) {
  Connect({});
  ExpectOpening();
  const Summary s = sim_->GetSummary();
  EXPECT_EQ(s.host_opens, 1u);
  EXPECT_EQ(s.opening_messages, 1u);
  EXPECT_EQ(s.mode, "normal");
  // Reopening is a new session with a new opening message. On a pty a close
  // and a reopen within microseconds look like no close at all, so the test
  // leaves the organizer a moment to see the hang-up.
  CloseZep(port_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  port_ = OpenZepByName("COM7");
  ASSERT_NE(port_, ZEP_INVALID_PORT);
  ExpectOpening();
  EXPECT_EQ(sim_->GetSummary().host_opens, 2u);
}

TEST_F(PtyTest, MessagesOfSeveralPacketsGoBothWays) {
  Config c;
  c.extra_lines = {std::string(2500, 'a'), std::string(2500, 'b')};
  Connect(c);
  ExpectOpening();
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));
  Bytes block;
  ASSERT_TRUE(Receive(&block));
  const std::string expected = "TR-150\r\nSYSTEM V1.00\r\n1999/04/01\r\n" + std::string(2500, 'a') +
                               "\r\n" + std::string(2500, 'b') + "\r\n";
  EXPECT_EQ(AsText(block), expected);  // 5041 bytes: blocks 1, 2 and 0xFFFF
  // 5000 bytes to the organizer: blocks 1, 2 and 0xFFFF; it does not know them.
  Bytes unknown(5000, 'z');
  unknown.back() = 0;
  ASSERT_TRUE(Send(unknown));
  Bytes reply;
  ASSERT_TRUE(Receive(&reply, false, 128));
  EXPECT_EQ(AsText(reply), "NG");
  const Counters n = sim_->GetCounters();
  EXPECT_EQ(n.packets_from_host, 1u + 3u);
  EXPECT_EQ(n.packets_to_host, 1u + 3u + 1u);
  EXPECT_EQ(n.pauses, n.packets_from_host + n.packets_to_host);
  EXPECT_EQ(sim_->GetSummary().unknown_commands, 1u);
}

TEST_F(PtyTest, HostSendingFirstTakesTheLineFromTheOpeningMessage) {
  Connect({});
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));
  Bytes block;
  ASSERT_TRUE(Receive(&block));
  EXPECT_EQ(AsText(block).rfind("TR-150\r\n", 0), 0u);
  EXPECT_EQ(sim_->GetSummary().opening_messages, 0u);
}

TEST_F(PtyTest, BlockNumbersMustFollowOnOrStartAgainAtOne) {
  Connect({});
  ExpectOpening();
  const Bytes part = {'W', 'S', 'Y', 'S', ' '};
  auto packet = [&](const Bytes& data, uint16_t block) {
    return SendZep1Packet(0, port_, data.data(), static_cast<uint16_t>(data.size()), block) != 0;
  };
  ASSERT_TRUE(packet(part, 1));
  {
    ScopedFastClock fast(20);
    EXPECT_FALSE(packet(part, 3)) << "block 2 expected: no ACK";
  }
  ASSERT_TRUE(packet(part, 1)) << "block 1 starts the message again";
  ASSERT_TRUE(packet({'R', 'E', 'S'}, 2));
  ASSERT_TRUE(packet({'E', 'T', 0}, 0xFFFF));
  Bytes reply;
  ASSERT_TRUE(Receive(&reply, false, 128));
  EXPECT_EQ(AsText(reply), "OK");
  EXPECT_EQ(sim_->GetSummary().resets, 1u) << "WSYS RESET from blocks 1, 2 and 0xFFFF";
}

TEST_F(PtyTest, StopIsAHangUpForTheHost) {
  Connect({});
  ExpectOpening();
  sim_->Stop();
  const auto start = Steady::now();
  EXPECT_FALSE(Send(Text("WSYS RESET")));
  EXPECT_LT(Steady::now() - start, std::chrono::seconds(5));
}

TEST_F(PtyTest, PacedLineIsNeverFasterThanTheWire) {
  Config c;
  c.pacing = true;
  c.extra_lines = {std::string(1500, 'p')};  // about 1.6 s of frames at 9600 bps
  Connect(c);
  ExpectOpening();
  const Counters before = sim_->GetCounters();
  const auto start = Steady::now();
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));
  Bytes block;
  ASSERT_TRUE(Receive(&block));
  const std::chrono::duration<double> wall = Steady::now() - start;
  const Counters after = sim_->GetCounters();
  const double wire = after.wire_seconds - before.wire_seconds;
  EXPECT_GT(wire, 1.5);
  EXPECT_GE(wall.count(), wire + 2 * 0.05) << "the bytes each way and two pauses at least";
}

// "WSYS SET BAUD " with the speed code of 38400 bps (00 08) and its closing zero.
const Bytes kSetBaud38400 = {0x57, 0x53, 0x59, 0x53, 0x20, 0x53, 0x45, 0x54, 0x20,
                             0x42, 0x41, 0x55, 0x44, 0x20, 0x00, 0x08, 0x00};

TEST_F(PtyTest, SetBaudAgreedThenBothEndsTalkAtTheNewSpeed) {
  Connect({});
  ExpectOpening();
  ASSERT_TRUE(Send(kSetBaud38400));
  Bytes reply;
  ASSERT_TRUE(Receive(&reply, false, 128));
  EXPECT_EQ(AsText(reply), "OK");
  ZEPSetSpeed(port_, 38400);
  ASSERT_TRUE(Send(Text("WSYS RESET")));
  ASSERT_TRUE(Receive(&reply, false, 128));
  EXPECT_EQ(AsText(reply), "OK");
  const Summary s = sim_->GetSummary();
  EXPECT_EQ(s.speeds, (std::vector<uint32_t>{9600, 38400, 9600}));
  EXPECT_EQ(s.bytes_lost_to_speed_mismatch, 0u);
}

TEST_F(PtyTest, HostThatKeepsItsOldSpeedIsNotHeard) {
  Connect({});
  ExpectOpening();
  ASSERT_TRUE(Send(kSetBaud38400));
  Bytes reply;
  ASSERT_TRUE(Receive(&reply, false, 128));
  ScopedFastClock fast(20);
  EXPECT_FALSE(Send(Text("WSYS RESET")));  // still at 9600
  EXPECT_EQ(GetErrorStatus(), 0);
  EXPECT_GT(sim_->GetSummary().bytes_lost_to_speed_mismatch, 0u);
}

TEST_F(PtyTest, MessageAcknowledgedJustBeforeTheHostClosesIsStillActedOn) {
  Connect({});
  ExpectOpening();
  {
    // A fast host pause: the port closes well within the organizer's pause.
    ScopedFastClock fast(20);
    ASSERT_TRUE(Send(Text("WSYS PATCH SEND")));
    CloseZep(port_);
    port_ = ZEP_INVALID_PORT;
  }
  Summary s = sim_->GetSummary();
  for (int i = 0; i < 100 && s.mode != "loader"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    s = sim_->GetSummary();
  }
  EXPECT_EQ(s.mode, "loader");
  EXPECT_EQ(s.patch_send, 1u);
}

TEST_F(PtyTest, TuneRateAnswersAtTheNewSpeed) {
  Connect(InLoader());
  Bytes status;
  ASSERT_TRUE(SendPacket(Request(2)));
  ASSERT_TRUE(Receive(&status, false, 1));
  EXPECT_EQ(status, Bytes{0x00});
  // RemoteTuneRate is whatever the kit carries: take it from a kit.
  const auto kit = WriteKit((home_ / "kit").string(), 64, false);
  ASSERT_TRUE(kit);
  const Bytes tune(kit->image.begin() + 0x6000, kit->image.begin() + 0x6000 + 64);
  ASSERT_TRUE(SendPacket(Request(4, 0xE300, 64)));
  ASSERT_TRUE(SendPacket(tune));
  ASSERT_TRUE(Receive(&status, false, 1));
  ASSERT_EQ(status, Bytes{0x00});
  ASSERT_TRUE(SendPacket(Request(5, 4, 0, 0xE300)));
  ZEPSetSpeed(port_, 38400);
  ASSERT_TRUE(Receive(&status, false, 1));
  EXPECT_EQ(status, Bytes{0x00});
  EXPECT_EQ(sim_->GetSummary().speeds, (std::vector<uint32_t>{9600, 38400}));
}

TEST_F(PtyTest, AfterTheFormatTheNextSessionReportsTheNewSystem) {
  // The flash already holds the new system; only the format is left to do.
  const auto kit = WriteKit((home_ / "kit").string(), 64, false);
  ASSERT_TRUE(kit);
  Config c = InLoader();
  c.initial_flash = kit->image;
  Connect(c);
  ASSERT_TRUE(SendPacket(Request(5, 0, 0, static_cast<uint16_t>(kit->refmtdbank))));
  Bytes reply;
  {
    ScopedFastClock fast(20);
    EXPECT_FALSE(Receive(&reply, false, 1)) << "no status after the format";
  }
  CloseZep(port_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  port_ = OpenZepByName("COM7");
  ASSERT_NE(port_, ZEP_INVALID_PORT);
  ExpectOpening();
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));
  ASSERT_TRUE(Receive(&reply));
  EXPECT_EQ(AsText(reply).rfind(
                "TR-150\r\n" + kit->new_system_line1 + "\r\n" + kit->new_system_line2 + "\r\n", 0),
            0u)
      << AsText(reply);
  EXPECT_TRUE(sim_->GetSummary().databank_formatted);
}

TEST_F(PtyTest, ALaterSimulatorTakesOverTheLinkAndKeepsIt) {
  Connect({});
  Simulator second;
  std::string error;
  ASSERT_TRUE(second.Start(&error)) << error;
  ASSERT_TRUE(second.LinkAs("COM7", &error)) << error;
  EXPECT_EQ(fs::read_symlink(home_ / "vq3upd/ports/COM7"), second.SlavePath());
  sim_->Stop();  // removes only a link that is still its own
  EXPECT_EQ(fs::read_symlink(home_ / "vq3upd/ports/COM7"), second.SlavePath());
  second.Stop();
  EXPECT_FALSE(fs::exists(fs::symlink_status(home_ / "vq3upd/ports/COM7")));
  // Any letter case names the same port.
  Simulator third;
  ASSERT_TRUE(third.Start(&error)) << error;
  ASSERT_TRUE(third.LinkAs("com12", &error)) << error;
  EXPECT_EQ(fs::read_symlink(home_ / "vq3upd/ports/COM12"), third.SlavePath());
  std::string refused;
  EXPECT_FALSE(second.LinkAs("../COM7", &refused));
  EXPECT_NE(refused.find("../COM7"), std::string::npos) << refused;
}

TEST_F(PtyTest, SilenceFromPacketNLeavesTheHostUnanswered) {
  Config c;
  c.faults.silence_from_packet = 2;
  Connect(c);
  ExpectOpening();
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));  // packet 1 is served
  Bytes block;
  ASSERT_TRUE(Receive(&block));
  ScopedFastClock fast(20);
  EXPECT_FALSE(Send(Text("WSYS RESET")));
  EXPECT_EQ(GetErrorStatus(), 0) << "a time-out is failure with status 0";
  EXPECT_EQ(sim_->GetSummary().faults_fired, std::vector<std::string>{"silence from packet 2"});
  EXPECT_EQ(sim_->GetSummary().resets, 0u);
}

TEST_F(PtyTest, SilenceFromPacket1MeansNoOpeningMessage) {
  Config c;
  c.faults.silence_from_packet = 1;
  Connect(c);
  ScopedFastClock fast(20);
  Bytes opening;
  EXPECT_FALSE(Receive(&opening));
  EXPECT_TRUE(opening.empty());
}

TEST_F(PtyTest, CorruptedFrameIsRejectedAndItsRepeatTaken) {
  Config c;
  c.faults.corrupt_sent_frame = 2;  // the first frame of the device block
  Connect(c);
  ExpectOpening();
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));
  Bytes block;
  ASSERT_TRUE(Receive(&block));
  EXPECT_EQ(AsText(block).rfind("TR-150\r\n", 0), 0u);
  EXPECT_EQ(sim_->GetSummary().faults_fired, std::vector<std::string>{"bad checksum in frame 2"});
  EXPECT_EQ(sim_->GetCounters().packets_to_host, 2u) << "acknowledged once each";
}

TEST_F(PtyTest, NthWriteIsRefusedWithItsStatus) {
  Config c = InLoader();
  c.faults.write_status_at = 2;
  c.faults.write_status = 0x5C;
  Connect(c);
  Bytes status;
  for (uint8_t expected : {0x00, 0x5C, 0x00}) {
    ASSERT_TRUE(SendPacket(Request(4, 0xE000, 4)));
    ASSERT_TRUE(SendPacket({1, 2, 3, 4}));
    ASSERT_TRUE(Receive(&status, false, 1));
    EXPECT_EQ(status, Bytes{expected});
  }
}

TEST_F(PtyTest, BusyLoaderAnswersNonZeroBeforeReady) {
  Config c = InLoader();
  c.busy_replies = 2;
  Connect(c);
  Bytes replies, status;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(SendPacket(Request(2)));
    ASSERT_TRUE(Receive(&status, false, 1));
    replies.insert(replies.end(), status.begin(), status.end());
  }
  EXPECT_EQ(replies, (Bytes{0x01, 0x01, 0x00}));
}

TEST_F(PtyTest, NeverSynMakesThePacketFail) {
  Config c = InLoader();
  c.faults.never_syn = true;
  Connect(c);
  ScopedFastClock fast(20);
  EXPECT_FALSE(SendPacket(Request(2)));
  EXPECT_EQ(GetErrorStatus(), 0);
  EXPECT_EQ(sim_->GetSummary().ready_queries, 0u);
  EXPECT_EQ(sim_->GetSummary().faults_fired,
            std::vector<std::string>{"ACK instead of SYN from packet 1"});
}

TEST_F(PtyTest, HangUpAtPacketNKillsThePortAtOnce) {
  Config c;
  c.faults.hangup_at_packet = 2;
  Connect(c);
  ExpectOpening();
  ASSERT_TRUE(Send(Text("WSYS RECEIVE QIM_ALL S1:")));
  Bytes block;
  ASSERT_TRUE(Receive(&block));
  const auto start = Steady::now();
  EXPECT_FALSE(Send(Text("WSYS RESET")));
  EXPECT_LT(Steady::now() - start, std::chrono::seconds(5)) << "a dead line is not retried";
  Bytes reply;
  EXPECT_FALSE(Receive(&reply, false, 128));
  EXPECT_LT(Steady::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(sim_->GetSummary().mode, "hung up");
  for (int i = 0; i < 100 && !sim_->Finished(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(sim_->Finished());
}

}  // namespace
}  // namespace orgsim
