// Builds the organizer's frames and cuts its messages into packets.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orgsim {

std::vector<uint8_t> EncodeControlFrame(uint8_t code);
// `corrupt_sum` sends a checksum one off, for the fault of that name.
std::vector<uint8_t> EncodeDataFrame(uint16_t block, std::span<const uint8_t> data,
                                     bool corrupt_sum = false);

struct Packet {
  uint16_t block;
  std::span<const uint8_t> data;
};
// Packets of 2048 bytes numbered 1, 2, 3 ..., the last (or only) one 0xFFFF;
// an empty message is one empty packet.
std::vector<Packet> SplitMessage(std::span<const uint8_t> message);

}  // namespace orgsim
