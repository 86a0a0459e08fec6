// The loader's requests and replies.
//
//   ReproRequest, 12 bytes, 16-bit fields little-endian:
//   0 op | 1 reserved | 2 param1 | 4 param2 | 6 param3 | 8 param4 | 10 entry
//
// Every request is answered by one status byte (a message of its own), the
// read request first by the data it asked for; a write request is followed
// by the data to write as the next message.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace orgsim {

inline constexpr size_t kReproRequestLength = 12;

inline constexpr uint8_t kReproOpReady = 2;  // are you ready? 0 = yes
inline constexpr uint8_t kReproOpRead = 3;   // param1 address, param2 length
inline constexpr uint8_t kReproOpWrite = 4;  // param1 address, param2 length; data follows
inline constexpr uint8_t kReproOpCall = 5;   // entry with param1..param4

// The organizer's status bytes. Only 0 is fixed by the host; the failure
// codes are this organizer's own.
inline constexpr uint8_t kStatusOk = 0x00;           // done
inline constexpr uint8_t kStatusBadRequest = 0x01;   // not 12 bytes, or an unknown op
inline constexpr uint8_t kStatusBadAddress = 0x02;   // range not readable / not writable RAM
inline constexpr uint8_t kStatusBadLength = 0x03;    // write data not as long as announced
inline constexpr uint8_t kStatusNoRoutine = 0x04;    // nothing runnable at the entry address
inline constexpr uint8_t kStatusLocked = 0x05;       // flash not unlocked, or pairs missing
inline constexpr uint8_t kStatusBadBank = 0x06;      // bank number out of range
inline constexpr uint8_t kStatusChecksum = 0x07;     // flash sum differs from the argument
inline constexpr uint8_t kStatusBadArgument = 0x08;  // a routine argument it cannot use

struct ReproRequest {
  uint8_t op = 0;
  uint16_t param1 = 0, param2 = 0, param3 = 0, param4 = 0, entry = 0;
};

std::optional<ReproRequest> DecodeReproRequest(std::span<const uint8_t> message);

}  // namespace orgsim
