// The organizer's frame code against the bytes of the wire tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orgsim/frame_encoder.h"
#include "orgsim/frame_recognizer.h"

namespace orgsim {
namespace {

using Bytes = std::vector<uint8_t>;
using Event = FrameRecognizer::Event;

const Bytes kEnqFrame = {0x00, 0x00, 0x00, 0x00, 0x00, 0x96, 0x82, 0x05};
// "abc" as the last packet of its message.
const Bytes kAbcFrame = {0x00, 0x00, 0x00, 0x00, 0x00, 0x96, 0x81, 0x10, 0xFF, 0xFF,
                         0x01, 0x40, 0xFE, 0x03, 0x00, 0x61, 0x62, 0x63, 0x26, 0x01};
const Bytes kEmptyFrame = {0x00, 0x00, 0x00, 0x00, 0x00, 0x96, 0x81, 0x10, 0xFF,
                           0xFF, 0x01, 0x40, 0xFE, 0x00, 0x00, 0x00, 0x00};

// Feeds every byte; the events that were not kNone, in order.
std::vector<Event> FeedAll(FrameRecognizer& r, const Bytes& bytes) {
  std::vector<Event> events;
  for (uint8_t b : bytes) {
    const Event e = r.Feed(b);
    if (e != Event::kNone) events.push_back(e);
  }
  return events;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(FrameEncoder, BuildsTheTableBytes) {
  EXPECT_EQ(EncodeControlFrame(0x05), kEnqFrame);
  const Bytes abc = {0x61, 0x62, 0x63};
  EXPECT_EQ(EncodeDataFrame(0xFFFF, abc), kAbcFrame);
  EXPECT_EQ(EncodeDataFrame(0xFFFF, {}), kEmptyFrame);
  Bytes corrupt = kAbcFrame;
  corrupt[18] = 0x27;  // the sum one off
  EXPECT_EQ(EncodeDataFrame(0xFFFF, abc, true), corrupt);
}

TEST(FrameEncoder, BlockNumberAndCountAreLittleEndian) {
  const Bytes data(0x0102, 0x01);
  const Bytes frame = EncodeDataFrame(0x0203, data);
  ASSERT_EQ(frame.size(), 15u + 0x102 + 2);
  EXPECT_EQ(frame[8], 0x03);
  EXPECT_EQ(frame[9], 0x02);
  EXPECT_EQ(frame[13], 0x02);
  EXPECT_EQ(frame[14], 0x01);
  EXPECT_EQ(frame[frame.size() - 2], 0x02);  // sum 0x0102
  EXPECT_EQ(frame[frame.size() - 1], 0x01);
}

TEST(SplitMessage, NumbersPacketsAsTheHostExpects) {
  struct Case {
    size_t length;
    std::vector<std::pair<uint16_t, size_t>> packets;  // block, count
  };
  const Case cases[] = {
      {0, {{0xFFFF, 0}}},
      {3, {{0xFFFF, 3}}},
      {2048, {{0xFFFF, 2048}}},
      {2049, {{1, 2048}, {0xFFFF, 1}}},
      {4096, {{1, 2048}, {0xFFFF, 2048}}},
      {5000, {{1, 2048}, {2, 2048}, {0xFFFF, 904}}},
  };
  for (const Case& c : cases) {
    const Bytes message(c.length, 0x5A);
    const auto packets = SplitMessage(message);
    ASSERT_EQ(packets.size(), c.packets.size()) << c.length;
    for (size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i].block, c.packets[i].first) << c.length << " packet " << i;
      EXPECT_EQ(packets[i].data.size(), c.packets[i].second) << c.length << " packet " << i;
    }
  }
}

TEST(FrameRecognizer, TakesTheTableFrames) {
  FrameRecognizer r;
  EXPECT_EQ(FeedAll(r, kEnqFrame), std::vector<Event>{Event::kControl});
  EXPECT_EQ(r.code(), 0x05);
  EXPECT_EQ(FeedAll(r, kAbcFrame), std::vector<Event>{Event::kData});
  EXPECT_EQ(r.block(), 0xFFFF);
  EXPECT_EQ(r.data(), (Bytes{0x61, 0x62, 0x63}));
  EXPECT_EQ(FeedAll(r, kEmptyFrame), std::vector<Event>{Event::kData});
  EXPECT_TRUE(r.data().empty());
}

TEST(FrameRecognizer, RejectsDamagedFrames) {
  struct Case {
    const char* what;
    size_t offset;  // byte of kAbcFrame to change
    uint8_t value;
    std::vector<Event> events;
  };
  const Case cases[] = {
      {"flipped data byte fails the sum", 16, 0x63, {Event::kBadChecksum}},
      {"flipped sum byte fails the sum", 19, 0x02, {Event::kBadChecksum}},
      {"fixed byte 7 is not tested", 7, 0x55, {Event::kData}},
      {"fixed bytes 10-12 are not tested", 11, 0x00, {Event::kData}},
      {"wrong kind byte is no frame", 6, 0x83, {}},
  };
  for (const Case& c : cases) {
    FrameRecognizer r;
    Bytes frame = kAbcFrame;
    frame[c.offset] = c.value;
    EXPECT_EQ(FeedAll(r, frame), c.events) << c.what;
  }
}

TEST(FrameRecognizer, OversizedCountEndsTheFrameAtItsCount) {
  FrameRecognizer r;
  // Count 2049: dropped as soon as the count is complete, before any data byte.
  const Bytes header = {0x00, 0x00, 0x00, 0x00, 0x00, 0x96, 0x81, 0x10,
                        0xFF, 0xFF, 0x01, 0x40, 0xFE, 0x01, 0x08};
  std::vector<Event> events;
  for (size_t i = 0; i < header.size(); ++i) {
    const Event e = r.Feed(header[i]);
    if (i + 1 < header.size())
      EXPECT_EQ(e, Event::kNone);
    else
      EXPECT_EQ(e, Event::kOversized);
  }
  // The recogniser hunts again at once: a good frame right after is taken.
  EXPECT_EQ(FeedAll(r, kAbcFrame), std::vector<Event>{Event::kData});
  // Count 2048 is allowed.
  const Bytes full(2048, 0x01);
  EXPECT_EQ(FeedAll(r, EncodeDataFrame(7, full)), std::vector<Event>{Event::kData});
  EXPECT_EQ(r.block(), 7);
  EXPECT_EQ(r.data().size(), 2048u);
}

TEST(FrameRecognizer, SkipsNoiseAndNeedsAZeroBeforeTheStartByte) {
  FrameRecognizer r;
  const Bytes noise = {0x96, 0x82, 0x05, 0xFF, 0x12, 0x96, 0x81};
  EXPECT_TRUE(FeedAll(r, noise).empty());
  // A single zero before 0x96 is enough, any number of zeros too.
  EXPECT_EQ(FeedAll(r, Bytes{0x00, 0x96, 0x82, 0x16}), std::vector<Event>{Event::kControl});
  EXPECT_EQ(r.code(), 0x16);
  EXPECT_EQ(FeedAll(r, Concat({noise, Bytes(9, 0x00), {0x96, 0x82, 0x06}})),
            std::vector<Event>{Event::kControl});
  EXPECT_EQ(r.code(), 0x06);
  // Control frames in front of a data frame each come out on their own.
  EXPECT_EQ(FeedAll(r, Concat({kEnqFrame, noise, kEnqFrame, kAbcFrame})),
            (std::vector<Event>{Event::kControl, Event::kControl, Event::kData}));
}

TEST(FrameRecognizer, ZeroAfterTheStartByteDropsTheHeader) {
  FrameRecognizer r;
  // 00 96 00 96 82 05: the zero after 0x96 sends the hunt back to the start,
  // where 0x96 alone is no preamble.
  EXPECT_TRUE(FeedAll(r, Bytes{0x00, 0x96, 0x00, 0x96, 0x82, 0x05}).empty());
  EXPECT_EQ(FeedAll(r, kEnqFrame), std::vector<Event>{Event::kControl});
}

}  // namespace
}  // namespace orgsim
