#include "orgsim/frame_encoder.h"

#include "orgsim/wire.h"

namespace orgsim {
namespace {

void PutPreamble(std::vector<uint8_t>& out, uint8_t kind) {
  out.insert(out.end(), wire::kPreambleLength, wire::kPreambleByte);
  out.push_back(wire::kStartByte);
  out.push_back(kind);
}

void PutLittle16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

std::vector<uint8_t> EncodeControlFrame(uint8_t code) {
  std::vector<uint8_t> out;
  PutPreamble(out, wire::kKindControl);
  out.push_back(code);
  return out;
}

std::vector<uint8_t> EncodeDataFrame(uint16_t block, std::span<const uint8_t> data,
                                     bool corrupt_sum) {
  std::vector<uint8_t> out;
  out.reserve(wire::kDataHeaderLength + data.size() + wire::kChecksumLength);
  PutPreamble(out, wire::kKindData);
  out.push_back(wire::kFixedAfterKind);
  PutLittle16(out, block);
  out.insert(out.end(), std::begin(wire::kFixedAfterBlock), std::end(wire::kFixedAfterBlock));
  PutLittle16(out, static_cast<uint16_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  uint16_t sum = 0;
  for (uint8_t b : data) sum = static_cast<uint16_t>(sum + b);
  if (corrupt_sum) sum = static_cast<uint16_t>(sum + 1);
  PutLittle16(out, sum);
  return out;
}

std::vector<Packet> SplitMessage(std::span<const uint8_t> message) {
  std::vector<Packet> packets;
  size_t sent = 0;
  uint16_t block = 0;
  // The same rule as the host's: a packet is numbered only while more than
  // 2048 bytes remain after it would start.
  while (sent + wire::kMaxPacketData < message.size()) {
    packets.push_back({++block, message.subspan(sent, wire::kMaxPacketData)});
    sent += wire::kMaxPacketData;
  }
  packets.push_back({wire::kLastBlock, message.subspan(sent)});
  return packets;
}

}  // namespace orgsim
