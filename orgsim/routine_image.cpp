#include "orgsim/routine_image.h"

#include <array>
#include <cstring>

namespace orgsim {
namespace {

constexpr char kTag[] = "VQ3RTN";  // first bytes of every routine image
constexpr size_t kTagLength = sizeof kTag - 1;
constexpr size_t kKindOffset = 6;       // RoutineKind byte
constexpr size_t kParameterOffset = 8;  // 32-bit parameter
constexpr size_t kBodyOffset = 12;      // the pattern starts here
constexpr size_t kSelfSumLength = 2;    // trailing 16-bit sum

constexpr std::array<RoutineInfo, 8> kRoutines = {{
    {RoutineKind::kTuneRate, "RemoteTuneRate", 64},
    {RoutineKind::kProgFlash, "RemoteProgFlash", 256},
    {RoutineKind::kProg64k, "RemoteProg64k", 256},
    {RoutineKind::kSetbank, "RemoteSetbank", 128},
    {RoutineKind::kChkSum, "RemoteChkSum", 256},
    {RoutineKind::kUnlock, "RemoteUnlock", 128},
    {RoutineKind::kFmtDBank, "ReFmtDBank", 32},
    {RoutineKind::kReprog, "REPROG", 32},
}};

uint16_t Sum16(std::span<const uint8_t> bytes) {
  uint16_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint16_t>(sum + b);
  return sum;
}

}  // namespace

std::span<const RoutineInfo> Routines() {
  return kRoutines;
}

const RoutineInfo& InfoOf(RoutineKind kind) {
  return kRoutines[static_cast<size_t>(kind) - 1];
}

std::vector<uint8_t> RoutineImage(RoutineKind kind, uint32_t parameter) {
  std::vector<uint8_t> image(InfoOf(kind).size, 0);
  std::memcpy(image.data(), kTag, kTagLength);
  image[kKindOffset] = static_cast<uint8_t>(kind);
  for (int i = 0; i < 4; ++i) {
    image[kParameterOffset + i] = static_cast<uint8_t>(parameter >> (8 * i));
  }
  const size_t body_end = image.size() - kSelfSumLength;
  for (size_t i = kBodyOffset; i < body_end; ++i) {
    image[i] = static_cast<uint8_t>(i * 37 + static_cast<uint8_t>(kind) * 101 + parameter);
  }
  const uint16_t sum = Sum16(std::span(image).first(body_end));
  image[body_end] = static_cast<uint8_t>(sum & 0xFF);
  image[body_end + 1] = static_cast<uint8_t>(sum >> 8);
  return image;
}

std::optional<RecognizedRoutine> RecognizeRoutine(std::span<const uint8_t> bytes) {
  if (bytes.size() < kBodyOffset || std::memcmp(bytes.data(), kTag, kTagLength) != 0) {
    return std::nullopt;
  }
  const uint8_t kind_byte = bytes[kKindOffset];
  if (kind_byte < 1 || kind_byte > kRoutines.size()) return std::nullopt;
  const auto kind = static_cast<RoutineKind>(kind_byte);
  const size_t size = InfoOf(kind).size;
  if (bytes.size() < size) return std::nullopt;
  uint32_t parameter = 0;
  for (int i = 0; i < 4; ++i) parameter |= uint32_t{bytes[kParameterOffset + i]} << (8 * i);
  const std::vector<uint8_t> expected = RoutineImage(kind, parameter);
  if (std::memcmp(bytes.data(), expected.data(), size) != 0) return std::nullopt;
  return RecognizedRoutine{kind, parameter};
}

}  // namespace orgsim
