// Talks to an Organizer without a line: requests in, answers out.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orgsim/organizer.h"
#include "orgsim/repro_request.h"
#include "orgsim/routine_image.h"

namespace orgsim::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Request(uint8_t op, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0, uint16_t p4 = 0,
                     uint16_t entry = 0) {
  Bytes r(12, 0);
  r[0] = op;
  const uint16_t fields[] = {p1, p2, p3, p4, entry};
  for (int i = 0; i < 5; ++i) {
    r[2 + 2 * i] = static_cast<uint8_t>(fields[i] & 0xFF);
    r[3 + 2 * i] = static_cast<uint8_t>(fields[i] >> 8);
  }
  return r;
}

inline Bytes Text(const std::string& text, bool zero = true) {
  Bytes b(text.begin(), text.end());
  if (zero) b.push_back(0);
  return b;
}

constexpr uint8_t kNoStatus = 0xEE;  // the organizer sent no single status byte

class OrganizerDriver {
 public:
  explicit OrganizerDriver(const Config& config) : organizer(config) {}

  // The status byte of a request answered by exactly one one-byte message.
  static uint8_t StatusOf(const Response& r) {
    return r.messages.size() == 1 && r.messages[0].size() == 1 ? r.messages[0][0] : kNoStatus;
  }

  uint8_t Write(uint16_t address, const Bytes& data) {
    const Response announced =
        organizer.OnMessage(Request(kReproOpWrite, address, static_cast<uint16_t>(data.size())));
    EXPECT_TRUE(announced.messages.empty()) << "a write request is answered after its data";
    return StatusOf(organizer.OnMessage(data));
  }

  // Data and status, or nothing but the status.
  std::pair<std::optional<Bytes>, uint8_t> Read(uint16_t address, uint16_t length) {
    const Response r = organizer.OnMessage(Request(kReproOpRead, address, length));
    if (r.messages.size() == 2 && r.messages[1].size() == 1)
      return {r.messages[0], r.messages[1][0]};
    return {std::nullopt, StatusOf(r)};
  }

  Response CallRaw(uint16_t entry, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0,
                   uint16_t p4 = 0) {
    return organizer.OnMessage(Request(kReproOpCall, p1, p2, p3, p4, entry));
  }
  uint8_t Call(uint16_t entry, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0, uint16_t p4 = 0) {
    return StatusOf(CallRaw(entry, p1, p2, p3, p4));
  }

  uint8_t Load(RoutineKind kind, uint16_t at, uint32_t parameter = 0) {
    return Write(at, RoutineImage(kind, parameter));
  }

  // Unlocked, the pairs written and RemoteProgFlash at 0xE300.
  void MakeFlashWritable() {
    ASSERT_EQ(Load(RoutineKind::kUnlock, 0xE300), 0);
    ASSERT_EQ(Call(0xE300), 0);
    ASSERT_EQ(Load(RoutineKind::kProgFlash, 0xE300), 0);
    ASSERT_EQ(Load(RoutineKind::kSetbank, 0xE800), 0);
    ASSERT_EQ(Write(0xC000, {0x55, 0x55}), 0);
    ASSERT_EQ(Write(0xC002, {0xAA, 0x2A}), 0);
    ASSERT_EQ(Write(0xC004, {0x55, 0x55}), 0);
  }

  Organizer organizer;
};

}  // namespace orgsim::test
