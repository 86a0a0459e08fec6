// The ROM image: its trailer, its sum, and its blocks read back unscrambled.
#include "cmdlib/progress.h"
#include "cmdlib/repro_files.h"

namespace tpx {
namespace {

constexpr size_t kScrambleTrailerSize = 2;  // rotate count, xor key
constexpr uint8_t kMaxRotateCount = 8;

}  // namespace

// Trailer and length. A rotate count above 8 is no scrambling this tool
// knows: most likely a plain file with two stray bytes, so it is refused
// rather than unscrambled into garbage. An image shorter than 64 KB cannot
// fill the staged banks, whose blocks would go out with stale bytes.
bool ReadRomDescription(std::FILE* rom, uint64_t rom_length) {
  RomImage& image = Engine().rom;
  uint64_t remainder = rom_length % kBlockSize;
  image.scrambled = remainder == kScrambleTrailerSize;
  if (image.scrambled) {
    uint8_t trailer[kScrambleTrailerSize];
    if (std::fseek(rom, static_cast<long>(rom_length - kScrambleTrailerSize), SEEK_SET) != 0 ||
        std::fread(trailer, 1, sizeof(trailer), rom) != sizeof(trailer)) {
      return false;
    }
    image.rotateCount = trailer[0];
    image.xorKey = trailer[1];
    if (image.rotateCount > kMaxRotateCount) {
      TraceText("Bad scrambling in ROM file.\n");
      return false;
    }
  }
  if (rom_length - remainder > UINT32_MAX) return false;
  image.imageLength = static_cast<uint32_t>(rom_length - remainder);
  if (image.imageLength < kStagedSize) {
    TraceText("ROM file shorter than 64KB.\n");
    return false;
  }
  return true;
}

bool SumImage(std::FILE* rom) {
  RomImage& image = Engine().rom;
  if (std::fseek(rom, 0, SEEK_SET) != 0) return false;
  uint16_t sum = 0;
  std::vector<uint8_t> chunk(0x10000);
  for (uint32_t left = image.imageLength; left > 0;) {
    size_t want = left < chunk.size() ? left : chunk.size();
    if (std::fread(chunk.data(), 1, want, rom) != want) return false;
    if (image.scrambled) UnscrambleBytes(chunk.data(), want);
    for (size_t i = 0; i < want; ++i) sum = static_cast<uint16_t>(sum + chunk[i]);
    left -= static_cast<uint32_t>(want);
  }
  image.imageSum = sum;
  return true;
}

void UnscrambleBytes(uint8_t* bytes, size_t count) {
  const RomImage& image = Engine().rom;
  unsigned rotate = image.rotateCount % 8u;  // 0 and 8 leave the byte as it is
  for (size_t i = 0; i < count; ++i) {
    unsigned t = static_cast<uint8_t>(bytes[i] ^ image.xorKey);
    bytes[i] = static_cast<uint8_t>(((t << (8u - rotate)) | (t >> rotate)) & 0xFFu);
  }
}

RomBlockReader::~RomBlockReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RomBlockReader::Open(uint32_t offset) {
  file_ = std::fopen(Engine().rom.romPath.c_str(), "rb");
  if (file_ == nullptr) {
    TraceText("ROM File open failed!\n");
    return false;
  }
  return std::fseek(file_, offset, SEEK_SET) == 0;
}

bool RomBlockReader::Next(uint8_t* block) {
  if (std::fread(block, 1, kBlockSize, file_) != kBlockSize) {
    TraceText("ROM File read failed!\n");
    return false;
  }
  if (Engine().rom.scrambled) UnscrambleBytes(block, kBlockSize);
  return true;
}

}  // namespace tpx
