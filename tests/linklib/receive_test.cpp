// The receiving side over an in-memory line in virtual time.
#include <gtest/gtest.h>

#include <cstdlib>

#include "link_fixture.h"
#include "linklib/linklib_exports.h"
#include "linklib/packet.h"
#include "linklib/wire.h"
#include "platform/windows.h"

namespace {

using linktest::Bytes;
using linktest::ControlFrameBytes;
using linktest::DataFrameBytes;
using linktest::Hex;
using linktest::Pattern;
using linktest::SendingPeer;

class ReceiveTest : public linktest::LinkFixture {
 protected:
  int32_t Receive(bool rapid = false, int32_t capacity = 65536, uint32_t timeout_ms = 0) {
    dest_.assign(65536, 0xEE);
    auto fn = rapid ? ReceiveZepRapid : ReceiveZep;
    return fn(0, port_, dest_.data(), capacity, &length_, timeout_ms, 0);
  }
  Bytes Received() const { return Bytes(dest_.begin(), dest_.begin() + length_); }
  // Control codes the host wrote, in order.
  std::vector<uint8_t> HostCodes() {
    linktest::FrameParser parser;
    parser.Feed(line_->written());
    std::vector<uint8_t> codes;
    while (auto f = parser.Next())
      if (f->control) codes.push_back(f->code);
    return codes;
  }

  SendingPeer peer_;
  Bytes dest_;
  int32_t length_ = -1;
};

TEST_F(ReceiveTest, BlocksOneTwoAndLastAreConcatenated) {
  const Bytes message = Pattern(5000);
  peer_ = SendingPeer(SendingPeer::MessageFrames(message));
  Attach(peer_);
  ASSERT_EQ(Receive(), 1);
  EXPECT_EQ(Received(), message);
  EXPECT_EQ(HostCodes(), (std::vector<uint8_t>{0x16, 0x06, 0x16, 0x06, 0x16, 0x06}));
}

TEST_F(ReceiveTest, NoiseAndWholeControlFramesBeforeTheDataFrameAreSkipped) {
  Bytes frame = Hex("FF 13 00 96 82 06 00 00 96 82 05 96 81 00");
  const Bytes data = DataFrameBytes(0xFFFF, Pattern(40));
  frame.insert(frame.end(), data.begin(), data.end());
  peer_.preamble_noise = Hex("55 AA 00 96 00");
  peer_.Add(frame);
  Attach(peer_);
  ASSERT_EQ(Receive(), 1);
  EXPECT_EQ(Received(), Pattern(40));
}

TEST_F(ReceiveTest, RejectedFrameGetsNoAckAndAGoodSecondAttemptIsAccepted) {
  struct Case {
    const char* name;
    Bytes first;
  };
  Bytes oversized = Hex("00 96 81 10 FF FF 01 40 FE 01 08");  // length 2049
  oversized.resize(oversized.size() + 2051, 0);
  const Case cases[] = {
      {"bad checksum", DataFrameBytes(0xFFFF, Pattern(300), 1)},
      {"length field of 2049", oversized},
  };
  for (const auto& c : cases) {
    line_->TakeFromHost();
    peer_ = SendingPeer();
    peer_.Add(c.first, DataFrameBytes(0xFFFF, Pattern(300)));
    Attach(peer_);
    const size_t written_before = line_->written().size();
    ASSERT_EQ(Receive(), 1) << c.name;
    EXPECT_EQ(Received(), Pattern(300)) << c.name;
    EXPECT_EQ(peer_.syns, 2) << c.name;
    EXPECT_EQ(peer_.acks, 1) << c.name;
    const Bytes after(line_->written().begin() + written_before, line_->written().end());
    linktest::FrameParser parser;
    parser.Feed(after);
    std::vector<uint8_t> codes;
    while (auto f = parser.Next()) codes.push_back(f->code);
    EXPECT_EQ(codes, (std::vector<uint8_t>{0x16, 0x16, 0x06}))
        << c.name << ": no ACK for the bad frame";
    FlushZep(port_);
  }
}

TEST_F(ReceiveTest, BlocksOneThenThreeFailAtTheSecondPacketWithoutAck) {
  peer_.Add(DataFrameBytes(1, Pattern(2048)));
  peer_.Add(DataFrameBytes(3, Pattern(10)));
  Attach(peer_);
  EXPECT_EQ(Receive(), 0);
  EXPECT_EQ(length_, 0);
  EXPECT_EQ(peer_.acks, 1);
  EXPECT_EQ(HostCodes(), (std::vector<uint8_t>{0x16, 0x06, 0x16, 0x16}));
}

TEST_F(ReceiveTest, ReceiveZep1PacketBlockRule) {
  struct Case {
    uint16_t frame_block;
    int32_t result;
    uint16_t block_after;
  };
  const Case cases[] = {{5, 1, 5}, {0xFFFF, 1, 0xFFFF}, {4, 0, 5}};
  for (const auto& c : cases) {
    FlushZep(port_);
    peer_ = SendingPeer();
    peer_.Add(DataFrameBytes(c.frame_block, Pattern(7)));
    Attach(peer_);
    uint8_t buffer[2050];
    uint16_t length = 0;
    uint16_t block = 5;
    EXPECT_EQ(ReceiveZep1Packet(0, port_, buffer, &length, &block), c.result) << c.frame_block;
    EXPECT_EQ(block, c.block_after) << c.frame_block;
    EXPECT_EQ(length, 7) << c.frame_block;
  }
}

TEST_F(ReceiveTest, SilentSenderIsGivenUpAfterTwoOrTwentySeconds) {
  struct Case {
    bool rapid;
    uint32_t expected_ms;
  };
  for (const Case c : {Case{true, 2000}, Case{false, 20000}}) {
    const platform::Tick start = Now();
    EXPECT_EQ(Receive(c.rapid), 0);
    EXPECT_EQ(length_, 0);
    EXPECT_NEAR(Now() - start, c.expected_ms, 20) << (c.rapid ? "rapid" : "normal");
    EXPECT_EQ(GetErrorStatus(), 0);
  }
  EXPECT_TRUE(line_->written().empty()) << "no SYN without an ENQ";
}

TEST_F(ReceiveTest, MessageLargerThanTheCapacityFailsAfterAcknowledgingThePacket) {
  peer_.Add(DataFrameBytes(0xFFFF, Pattern(300)));
  Attach(peer_);
  EXPECT_EQ(Receive(false, 128), 0);
  EXPECT_EQ(length_, 0);
  EXPECT_EQ(peer_.acks, 1);
}

TEST_F(ReceiveTest, OverallLimitEndsTheMessageBetweenPackets) {
  peer_ = SendingPeer(SendingPeer::MessageFrames(Pattern(5000)));
  Attach(peer_);
  EXPECT_EQ(Receive(false, 65536, 60), 0);
  EXPECT_EQ(length_, 0);
  EXPECT_EQ(peer_.acks, 2);
}

TEST_F(ReceiveTest, NonZeroStatusFailsEveryReceiverWithoutSyn) {
  peer_.Add(DataFrameBytes(0xFFFF, Pattern(3)));
  Attach(peer_);
  SetErrorStatus(-1);
  EXPECT_EQ(Receive(false), 0);
  EXPECT_EQ(Receive(true), 0);
  int32_t n = 5;
  EXPECT_EQ(ReceiveZep2(0, port_, &n, 0, 0), nullptr);
  EXPECT_EQ(n, 0);
  uint8_t buffer[2050];
  uint16_t length = 0, block = 1;
  EXPECT_EQ(ReceiveZep1Packet(0, port_, buffer, &length, &block), 0);
  EXPECT_TRUE(line_->written().empty());
}

TEST_F(ReceiveTest, ReceiveZep2GrowsAZeroFilledBlockIn8KSteps) {
  const Bytes message = Pattern(8193);
  peer_ = SendingPeer(SendingPeer::MessageFrames(message));
  Attach(peer_);
  int32_t n = 0;
  auto* block = static_cast<uint8_t*>(ReceiveZep2(0, port_, &n, 0, 0));
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(n, 8193);
  EXPECT_EQ(Bytes(block, block + n), message);
  EXPECT_EQ(Bytes(block + 8193, block + 16384),
            Bytes(16384 - 8193, 0));  // ASan: the block is 16384
  std::free(block);
}

TEST_F(ReceiveTest, ReceiveZep2OfAnEmptyMessageIsNullAfterASuccessfulTransfer) {
  peer_.Add(DataFrameBytes(0xFFFF, {}));
  Attach(peer_);
  int32_t n = 5;
  EXPECT_EQ(ReceiveZep2(0, port_, &n, 0, 0), nullptr);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(peer_.acks, 1);
}

TEST_F(ReceiveTest, BytesLeftInTheReceiveBufferAreTheNextCallsFirstBytes) {
  line_->SendToHost(Hex("00 00 00 00 00 96 82 05 00 00 00 00 00 96 82 16"));
  zep::CCommPort port(port_, 0);
  uint8_t code = 0;
  ASSERT_EQ(zep::ReceiveControlFrame(port, &code, 1000), 1);
  EXPECT_EQ(code, 0x05);
  EXPECT_EQ(line_->pending_to_host(), 0u) << "the second frame was read with the first";
  ASSERT_EQ(zep::ReceiveControlFrame(port, &code, 1000), 1);
  EXPECT_EQ(code, 0x16);

  line_->SendToHost(Hex("00 00 00 00 00 96 82 05 00 00 00 00 00 96 82 16"));
  ASSERT_EQ(zep::ReceiveControlFrame(port, &code, 1000), 1);
  FlushZep(port_);
  EXPECT_EQ(zep::ReceiveControlFrame(port, &code, 1000), 0) << "FlushZep dropped the rest";
}

TEST_F(ReceiveTest, OwnerWindowIsRestoredAfterSuccessAndFailure) {
  bool during = true;
  const platform::WindowId owner = platform::CreateWindow({});
  struct Probe : platform::LinePeer {
    Probe(platform::WindowId w, bool& seen, SendingPeer& p) : window(w), during(seen), inner(p) {}
    void Run(platform::MemoryLine& line, platform::Tick now) override {
      during = during && !platform::IsWindowEnabled(window);
      linktest::MemoryPeer(inner).Run(line, now);
    }
    platform::WindowId window;
    bool& during;
    SendingPeer& inner;
  } probe(owner, during, peer_);
  line_->SetPeer(&probe);
  dest_.assign(100, 0);
  int32_t n = 0;
  for (bool enabled : {true, false}) {
    for (bool succeed : {true, false}) {
      peer_ = SendingPeer();
      if (succeed) peer_.Add(DataFrameBytes(0xFFFF, Pattern(3)));
      platform::EnableWindow(owner, enabled);
      EXPECT_EQ(ReceiveZepRapid(owner, port_, dest_.data(), 100, &n, 0, 0), succeed ? 1 : 0);
      EXPECT_EQ(platform::IsWindowEnabled(owner), enabled);
    }
  }
  EXPECT_TRUE(during) << "disabled while the transfer ran";
  platform::DestroyWindow(owner);
}

TEST_F(ReceiveTest, SenderThatHangsUpEndsTheWaitAtOnce) {
  struct HangUpPeer : platform::LinePeer {
    void Run(platform::MemoryLine& line, platform::Tick) override {
      line.SendToHost(ControlFrameBytes(0x05));
      line.HangUp();
    }
  } hang_up;
  line_->SetPeer(&hang_up);
  const platform::Tick start = Now();
  EXPECT_EQ(Receive(), 0);
  EXPECT_LT(Now() - start, 10u) << "a vanished device is not waited on";
}

}  // namespace
