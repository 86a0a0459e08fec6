#include "orgsim/system_record.h"

#include <algorithm>
#include <cstring>

namespace orgsim {
namespace {

constexpr char kTag[] = "VQ3SYS";    // the record's first bytes
constexpr size_t kHeaderLength = 8;  // tag and two zero bytes

bool Printable(const std::string& line) {
  if (line.size() > kSystemLineMax) return false;
  for (unsigned char c : line) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// A zero-terminated line starting at `at`, moving `at` past its zero.
std::optional<std::string> TakeLine(std::span<const uint8_t> bytes, size_t& at) {
  std::string line;
  while (at < bytes.size() && bytes[at] != 0) line.push_back(static_cast<char>(bytes[at++]));
  if (at >= bytes.size() || !Printable(line)) return std::nullopt;
  ++at;
  return line;
}

}  // namespace

bool EncodeSystemRecord(const std::string& line1, const std::string& line2,
                        std::vector<uint8_t>* record) {
  if (!Printable(line1) || !Printable(line2)) return false;
  record->assign(kTag, kTag + sizeof kTag - 1);
  record->resize(kHeaderLength, 0);
  for (const std::string* line : {&line1, &line2}) {
    record->insert(record->end(), line->begin(), line->end());
    record->push_back(0);
  }
  return record->size() <= kSystemRecordSize;
}

std::optional<std::pair<std::string, std::string>> DecodeSystemRecord(
    std::span<const uint8_t> bytes) {
  bytes = bytes.first(std::min(bytes.size(), size_t{kSystemRecordSize}));
  if (bytes.size() < kHeaderLength || std::memcmp(bytes.data(), kTag, sizeof kTag - 1) != 0 ||
      bytes[6] != 0 || bytes[7] != 0) {
    return std::nullopt;
  }
  size_t at = kHeaderLength;
  auto line1 = TakeLine(bytes, at);
  if (!line1) return std::nullopt;
  auto line2 = TakeLine(bytes, at);
  if (!line2) return std::nullopt;
  return std::make_pair(*line1, *line2);
}

}  // namespace orgsim
