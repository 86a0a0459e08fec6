// Frames byte for byte, and the recognisers fed hostile streams.
#include <gtest/gtest.h>

#include <cstring>

#include "far_end.h"
#include "linklib/wire.h"

namespace {

using linktest::Bytes;
using linktest::Hex;
using linktest::ToHex;

template <size_t N>
Bytes B(const std::array<uint8_t, N>& a) {
  return Bytes(a.begin(), a.end());
}

TEST(Frames, ControlFramesFromTheTable) {
  EXPECT_EQ(ToHex(B(zep::ControlFrame(zep::kEnq))), "00 00 00 00 00 96 82 05");
  EXPECT_EQ(ToHex(B(zep::ControlFrame(zep::kSyn))), "00 00 00 00 00 96 82 16");
  EXPECT_EQ(ToHex(B(zep::ControlFrame(zep::kAck))), "00 00 00 00 00 96 82 06");
}

TEST(Frames, DataFrameHeaderAndChecksum) {
  const Bytes abc = {0x61, 0x62, 0x63};
  Bytes frame = B(zep::DataFrameHeader(0xFFFF, 3));
  for (uint8_t b : abc) frame.push_back(b);
  const uint16_t sum = zep::Checksum(abc.data(), abc.size());
  frame.push_back(sum & 0xFF);
  frame.push_back(sum >> 8);
  EXPECT_EQ(ToHex(frame), "00 00 00 00 00 96 81 10 FF FF 01 40 FE 03 00 61 62 63 26 01");
  EXPECT_EQ(ToHex(B(zep::DataFrameHeader(0x0201, 0x0800))),
            "00 00 00 00 00 96 81 10 01 02 01 40 FE 00 08");
}

TEST(Frames, ChecksumWrapsAt16Bits) {
  EXPECT_EQ(zep::Checksum(nullptr, 0), 0);
  const Bytes ff(2048, 0xFF);  // 2048 * 255 = 0x7F800
  EXPECT_EQ(zep::Checksum(ff.data(), ff.size()), 0xF800);
}

struct ControlCase {
  const char* name;
  const char* stream;
  int codes_found;
  uint8_t last_code;
};

TEST(ControlFrameRecognizer, StateTable) {
  const ControlCase cases[] = {
      {"plain ENQ", "00 00 00 00 00 96 82 05", 1, 0x05},
      {"one zero is enough", "00 96 82 16", 1, 0x16},
      {"no zero before start byte", "96 82 05", 0, 0},
      {"noise before the frame", "41 96 00 82 FF 00 00 96 82 06", 1, 0x06},
      {"data frame header passed over", "00 96 81 10 FF FF 00 96 82 06", 1, 0x06},
      {"zero between start and kind breaks it", "00 96 00 82 05", 0, 0},
      {"two frames back to back", "00 96 82 05 00 96 82 16", 2, 0x16},
  };
  for (const auto& c : cases) {
    zep::ControlFrameRecognizer r;
    int found = 0;
    for (uint8_t b : Hex(c.stream)) found += r.Feed(b);
    EXPECT_EQ(found, c.codes_found) << c.name;
    if (found) {
      EXPECT_EQ(r.code(), c.last_code) << c.name;
    }
  }
}

zep::DataFrameRecognizer::Result FeedAll(zep::DataFrameRecognizer& r, const Bytes& bytes,
                                         size_t* used) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto res = r.Feed(bytes[i]);
    if (res != zep::DataFrameRecognizer::Result::kMore) {
      *used = i + 1;
      return res;
    }
  }
  *used = bytes.size();
  return zep::DataFrameRecognizer::Result::kMore;
}

TEST(DataFrameRecognizer, AcceptsAFrameAfterNoiseAndControlFrames) {
  uint8_t buffer[zep::kPacketBufferSize];
  zep::DataFrameRecognizer r(buffer);
  Bytes stream = Hex("13 37 00 96 82 05 00 00 96 82 16");
  Bytes frame = Hex("00 00 00 00 00 96 81 10 02 00 01 40 FE 03 00 61 62 63 26 01");
  stream.insert(stream.end(), frame.begin(), frame.end());
  size_t used = 0;
  EXPECT_EQ(FeedAll(r, stream, &used), zep::DataFrameRecognizer::Result::kComplete);
  EXPECT_EQ(used, stream.size());
  EXPECT_EQ(r.block(), 2);
  EXPECT_EQ(r.length(), 3);
  EXPECT_EQ(0, std::memcmp(buffer, "abc\x26\x01", 5));
}

TEST(DataFrameRecognizer, LengthAbove2048FailsBeforeAnyDataByteIsStored) {
  uint8_t buffer[zep::kPacketBufferSize];
  std::memset(buffer, 0xAA, sizeof buffer);
  zep::DataFrameRecognizer r(buffer);
  size_t used = 0;
  // Length 0x0801 = 2049, followed by data bytes that must not be taken.
  const Bytes stream = Hex("00 96 81 10 FF FF 01 40 FE 01 08 55 55 55");
  EXPECT_EQ(FeedAll(r, stream, &used), zep::DataFrameRecognizer::Result::kBadLength);
  EXPECT_EQ(used, 11u);
  EXPECT_EQ(r.length(), 2049);
  EXPECT_EQ(buffer[0], 0xAA);
}

TEST(DataFrameRecognizer, BadChecksumIsTheVerdict) {
  uint8_t buffer[zep::kPacketBufferSize];
  zep::DataFrameRecognizer r(buffer);
  size_t used = 0;
  EXPECT_EQ(FeedAll(r, Hex("00 96 81 10 FF FF 01 40 FE 03 00 61 62 63 27 01"), &used),
            zep::DataFrameRecognizer::Result::kBadChecksum);
}

TEST(DataFrameRecognizer, EmptyPacketAndFullPacket) {
  uint8_t buffer[zep::kPacketBufferSize];
  size_t used = 0;
  zep::DataFrameRecognizer empty(buffer);
  EXPECT_EQ(FeedAll(empty, Hex("00 00 00 00 00 96 81 10 FF FF 01 40 FE 00 00 00 00"), &used),
            zep::DataFrameRecognizer::Result::kComplete);
  EXPECT_EQ(empty.length(), 0);

  zep::DataFrameRecognizer full(buffer);
  const Bytes data(2048, 0xFF);
  EXPECT_EQ(FeedAll(full, linktest::DataFrameBytes(7, data), &used),
            zep::DataFrameRecognizer::Result::kComplete);
  EXPECT_EQ(full.length(), 2048);
  EXPECT_EQ(full.block(), 7);
}

}  // namespace
