// A loader map and a ROM image from one input: two bytes give the map's
// length, the map's text follows, the rest is the ROM file. The low bits of
// the first byte may put 64 KB of zeros before the ROM bytes, so that inputs
// also get past the length check into the map scan and the image sum.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cmdlib/repro_files.h"

namespace {

constexpr size_t kHeader = 2;

std::FILE* OpenBytes(std::vector<uint8_t>& bytes, const char* mode) {
  if (bytes.empty()) bytes.push_back('\n');  // fmemopen refuses an empty buffer
  return fmemopen(bytes.data(), bytes.size(), mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader) return 0;
  size_t map_length = (data[0] | (data[1] << 8)) % (size - kHeader + 1);
  std::vector<uint8_t> map(data + kHeader, data + kHeader + map_length);
  std::vector<uint8_t> rom((data[0] & 3) == 1 ? tpx::kStagedSize : 0, 0);
  rom.insert(rom.end(), data + kHeader + map_length, data + size);
  uint64_t rom_length = rom.size();
  std::FILE* map_file = OpenBytes(map, "r");
  std::FILE* rom_file = OpenBytes(rom, "rb");
  if (map_file != nullptr && rom_file != nullptr) {
    tpx::LoadFromStreams(rom_file, rom_length, map_file);
  }
  if (map_file != nullptr) std::fclose(map_file);
  if (rom_file != nullptr) std::fclose(rom_file);
  tpx::ReleaseReproFiles();
  return 0;
}
