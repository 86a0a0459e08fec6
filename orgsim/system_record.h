// Where a system image names itself: the two system lines the organizer
// reports once it runs that image.
//
//   offset 0x0100  "VQ3SYS" 00 00, system line 1, 00, system line 2, 00
//
// The record lies within 256 bytes; each line is printable text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orgsim {

inline constexpr uint32_t kSystemRecordOffset = 0x0100;  // in the image and in flash
inline constexpr uint32_t kSystemRecordSize = 0x100;     // the record never runs further
inline constexpr size_t kSystemLineMax = 100;            // characters of one line

// The record's bytes; false when a line is too long or not printable.
bool EncodeSystemRecord(const std::string& line1, const std::string& line2,
                        std::vector<uint8_t>* record);
// The two lines of the record at the start of `bytes`, if there is one.
std::optional<std::pair<std::string, std::string>> DecodeSystemRecord(
    std::span<const uint8_t> bytes);

}  // namespace orgsim
