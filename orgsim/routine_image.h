// The resident routines of a sample ROM image, and how the organizer knows
// them again. A routine image is
//
//   0..5  "VQ3RTN"  tag
//   6     kind      RoutineKind
//   7     0x00
//   8..11 parameter little-endian (RemoteChkSum: the bytes of flash it sums)
//   ...   body      a pattern fixed by kind and parameter
//   last 2          16-bit sum of every byte before it
//
// The organizer runs a called routine only when the bytes at the entry
// address are such an image, whole and intact: a routine never loaded, loaded
// elsewhere, cut short or still scrambled is not there.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orgsim {

enum class RoutineKind : uint8_t {
  kTuneRate = 1,   // RemoteTuneRate
  kProgFlash = 2,  // RemoteProgFlash
  kProg64k = 3,    // RemoteProg64k
  kSetbank = 4,    // RemoteSetbank
  kChkSum = 5,     // RemoteChkSum
  kUnlock = 6,     // RemoteUnlock
  kFmtDBank = 7,   // ReFmtDBank, resident in flash
  kReprog = 8,     // REPROG, the loader's entry, resident in flash
};

struct RoutineInfo {
  RoutineKind kind;
  const char* name;  // the name in the loader map
  uint32_t size;     // bytes of its image
};

// The eight routines in RoutineKind order.
std::span<const RoutineInfo> Routines();
const RoutineInfo& InfoOf(RoutineKind kind);

// The image of a routine; `parameter` is baked into it.
std::vector<uint8_t> RoutineImage(RoutineKind kind, uint32_t parameter = 0);

struct RecognizedRoutine {
  RoutineKind kind;
  uint32_t parameter;
};
// What routine `bytes` begins with, if any (bytes may run longer).
std::optional<RecognizedRoutine> RecognizeRoutine(std::span<const uint8_t> bytes);

}  // namespace orgsim
