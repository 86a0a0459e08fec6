// ReproRequest, the engine's 12-byte request to the organizer's loader, sent
// whole as one link packet; 16-bit fields little-endian:
//   0 op   1 reserved (0)   2 param1   4 param2   6 param3   8 param4   10 entry
// read/write: param1 = organizer address, param2 = length; call: param1..4 are
// the routine's arguments and entry its address. Unnamed fields are 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tpx {

constexpr uint8_t kReproOpReady = 2;  // is the loader ready? (status 0 = yes)
constexpr uint8_t kReproOpRead = 3;   // send `param2` bytes from `param1`
constexpr uint8_t kReproOpWrite = 4;  // take the next packet's bytes to `param1`
constexpr uint8_t kReproOpCall = 5;   // call `entry` with param1..param4
constexpr size_t kReproRequestSize = 12;

struct ReproRequest {
  uint8_t op = 0;
  uint16_t param1 = 0;
  uint16_t param2 = 0;
  uint16_t param3 = 0;
  uint16_t param4 = 0;
  uint16_t entry = 0;

  std::array<uint8_t, kReproRequestSize> Encode() const {
    std::array<uint8_t, kReproRequestSize> bytes{};
    bytes[0] = op;
    const uint16_t fields[5] = {param1, param2, param3, param4, entry};
    for (size_t i = 0; i < 5; ++i) {
      bytes[2 + 2 * i] = static_cast<uint8_t>(fields[i] & 0xFF);
      bytes[3 + 2 * i] = static_cast<uint8_t>(fields[i] >> 8);
    }
    return bytes;
  }
};

}  // namespace tpx
