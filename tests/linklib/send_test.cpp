// The sending side over an in-memory line in virtual time.
#include <gtest/gtest.h>

#include "link_fixture.h"
#include "linklib/linklib_exports.h"
#include "platform/windows.h"

namespace {

using linktest::Bytes;
using linktest::Pattern;
using linktest::ReceivingPeer;
using linktest::ToHex;

class SendTest : public linktest::LinkFixture {
 protected:
  int32_t Send(const Bytes& message, uint32_t timeout_ms = 0, uint32_t window = 0) {
    return SendZep(window, port_, message.data(), static_cast<int32_t>(message.size()), timeout_ms,
                   0);
  }
  ReceivingPeer peer_;
};

struct CutCase {
  size_t length;
  std::vector<std::pair<uint16_t, size_t>> packets;  // block number, size
};

TEST_F(SendTest, MessagesAreCutInto2048BytePacketsNumberedUpToTheLast) {
  const CutCase cases[] = {
      {0, {{0xFFFF, 0}}},
      {2048, {{0xFFFF, 2048}}},
      {2049, {{1, 2048}, {0xFFFF, 1}}},
      {5000, {{1, 2048}, {2, 2048}, {0xFFFF, 904}}},
  };
  Attach(peer_);
  for (const auto& c : cases) {
    peer_ = ReceivingPeer();
    const Bytes message = Pattern(c.length, static_cast<uint8_t>(c.length));
    ASSERT_EQ(Send(message), 1) << c.length;
    ASSERT_EQ(peer_.data_frames.size(), c.packets.size()) << c.length;
    for (size_t i = 0; i < c.packets.size(); ++i) {
      EXPECT_EQ(peer_.data_frames[i].block, c.packets[i].first) << c.length << " packet " << i;
      EXPECT_EQ(peer_.data_frames[i].data.size(), c.packets[i].second)
          << c.length << " packet " << i;
    }
    EXPECT_EQ(peer_.message, message) << c.length;
    EXPECT_EQ(peer_.enqs, static_cast<int>(c.packets.size())) << c.length;
  }
}

TEST_F(SendTest, EmptyMessageIsOneEmptyPacketOnTheWire) {
  Attach(peer_);
  ASSERT_EQ(SendZep(0, port_, nullptr, 0, 0, 0), 1);
  EXPECT_EQ(ToHex(line_->written()),
            "00 00 00 00 00 96 82 05 "                              // ENQ
            "00 00 00 00 00 96 81 10 FF FF 01 40 FE 00 00 00 00");  // empty packet, checksum 0
}

TEST_F(SendTest, AnswerOtherThanAckStartsTheSecondAttemptWithEnq) {
  peer_.data_replies = {0x15};
  Attach(peer_);
  ASSERT_EQ(Send(Pattern(10)), 1);
  ASSERT_EQ(peer_.frames.size(), 4u);
  EXPECT_TRUE(peer_.frames[0].control && peer_.frames[0].code == 0x05);
  EXPECT_FALSE(peer_.frames[1].control);
  EXPECT_TRUE(peer_.frames[2].control && peer_.frames[2].code == 0x05);
  EXPECT_FALSE(peer_.frames[3].control);
}

TEST_F(SendTest, TwoFailedAttemptsFailThePacketAndTheMessage) {
  peer_.data_replies = {std::nullopt, std::nullopt};
  Attach(peer_);
  const platform::Tick start = Now();
  EXPECT_EQ(Send(Pattern(5000)), 0);
  EXPECT_EQ(peer_.data_frames.size(), 2u) << "no packet after the failed one";
  EXPECT_EQ(GetErrorStatus(), 0) << "a time-out is not an error status";
  // Each attempt waits 10 s for the ACK.
  EXPECT_NEAR(Now() - start, 20000, 100);
}

TEST_F(SendTest, ReceiverAnsweringEnqWithAckFailsAfterTwoTenSecondEnqPhases) {
  peer_.enq_reply = 0x06;
  Attach(peer_);
  const platform::Tick start = Now();
  EXPECT_EQ(Send(Pattern(3)), 0);
  EXPECT_TRUE(peer_.data_frames.empty());
  EXPECT_GE(Now() - start, 20000u);
  EXPECT_LT(Now() - start, 20100u);
}

TEST_F(SendTest, SilentReceiverGetsAnEnqAboutEverySecondForTwoPhases) {
  peer_.enq_reply = std::nullopt;
  Attach(peer_);
  const platform::Tick start = Now();
  EXPECT_EQ(Send(Pattern(3)), 0);
  EXPECT_GE(Now() - start, 20000u);
  EXPECT_LT(Now() - start, 22100u) << "the phase limit is tested between 1 s waits";
  EXPECT_GE(peer_.enqs, 18);
  EXPECT_LE(peer_.enqs, 22);
}

TEST_F(SendTest, NonZeroStatusRefusesAllTraffic) {
  Attach(peer_);
  for (int32_t status : {-1, 5, 999}) {
    SetErrorStatus(status);
    EXPECT_EQ(Send(Pattern(100)), 0) << status;
    EXPECT_EQ(SendZep1Packet(0, port_, "x", 1, 0xFFFF), 0) << status;
    EXPECT_EQ(GetErrorStatus(), status);
  }
  EXPECT_TRUE(line_->written().empty());
}

TEST_F(SendTest, InvalidHandleFailsAndLeavesTheStatusAlone) {
  SetErrorStatus(0);
  EXPECT_EQ(SendZep(0, ZEP_INVALID_PORT, "abc", 3, 0, 0), 0);
  EXPECT_EQ(SendZep1Packet(0, ZEP_INVALID_PORT, "abc", 3, 0xFFFF), 0);
  SetErrorStatus(77);
  EXPECT_EQ(SendZep(0, ZEP_INVALID_PORT, "abc", 3, 0, 0), 0);
  EXPECT_EQ(GetErrorStatus(), 77);
}

TEST_F(SendTest, NegativeLengthSendsNothing) {
  Attach(peer_);
  EXPECT_EQ(SendZep(0, port_, "abc", -3, 0, 0), 0);
  EXPECT_TRUE(line_->written().empty());
}

// Each packet costs about 55 ms here: two 2 ms replies and the 50 ms pause.
TEST_F(SendTest, OverallLimitIsTestedBetweenPackets) {
  Attach(peer_);
  EXPECT_EQ(Send(Pattern(5000), 80), 0) << "limit passed during packet 2 of 3";
  EXPECT_EQ(peer_.data_frames.size(), 2u);
  EXPECT_EQ(GetErrorStatus(), 0);

  peer_ = ReceivingPeer();
  EXPECT_EQ(Send(Pattern(2049), 80), 1) << "limit passed while the last packet was under way";
  EXPECT_EQ(peer_.data_frames.size(), 2u);
}

TEST_F(SendTest, SendZep1PacketSendsOnePacketAsGiven) {
  Attach(peer_);
  const Bytes record = Pattern(12);
  ASSERT_EQ(SendZep1Packet(0, port_, record.data(), 12, 0xFFFF), 1);
  ASSERT_EQ(peer_.data_frames.size(), 1u);
  EXPECT_EQ(peer_.data_frames[0].block, 0xFFFF);
  EXPECT_EQ(peer_.data_frames[0].data, record);
}

TEST_F(SendTest, PauseOf50MsFollowsEachAcknowledgedPacket) {
  Attach(peer_);
  const platform::Tick start = Now();
  ASSERT_EQ(Send(Pattern(10)), 1);
  EXPECT_GE(Now() - start, 54u);  // 2 ms for SYN, 2 ms for ACK, 50 ms pause
  EXPECT_LT(Now() - start, 60u);
}

class OwnerWindow {
 public:
  explicit OwnerWindow(bool enabled) {
    id_ = platform::CreateWindow(
        [this](platform::WindowId, uint32_t msg, uintptr_t wparam, intptr_t) {
          if (msg == platform::kMsgEnable) changes_.push_back(wparam != 0);
        });
    platform::EnableWindow(id_, enabled);
    changes_.clear();
  }
  ~OwnerWindow() { platform::DestroyWindow(id_); }
  uint32_t id() const { return id_; }
  const std::vector<bool>& changes() const { return changes_; }

 private:
  uint32_t id_;
  std::vector<bool> changes_;
};

TEST_F(SendTest, OwnerWindowIsDisabledDuringTheTransferAndRestoredOnEveryExit) {
  for (bool enabled : {true, false}) {
    for (bool succeed : {true, false}) {
      peer_ = ReceivingPeer();
      if (!succeed) peer_.enq_reply = std::nullopt;
      Attach(peer_);
      OwnerWindow owner(enabled);
      EXPECT_EQ(Send(Pattern(10), 0, owner.id()), succeed ? 1 : 0);
      EXPECT_EQ(platform::IsWindowEnabled(owner.id()), enabled);
      if (enabled)
        EXPECT_EQ(owner.changes(), (std::vector<bool>{false, true}));
      else
        EXPECT_TRUE(owner.changes().empty());
    }
  }
}

}  // namespace
