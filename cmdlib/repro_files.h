// The two input files of a reprogramming run and what the engine keeps of
// them: the loader map's nine symbols and the ROM image's description.
//
// ROM image file (L bytes, r = L mod 1024):
//   0 .. L-r-1   the image; the first 64 KB are staged in RAM banks, flash
//                banks 8, 9, ... follow in file order
//   L-r .. L-1   when r is 2: rotate count, xor key, and every image byte is
//                stored scrambled; any other r: ignored, the image is plain
//
// Loader map: text; a line holding one of the nine names (first in table
// order wins) gives that symbol its address in its second token, in hex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tpx {

enum SymbolIndex : size_t {
  kRemoteTuneRate = 0,
  kRemoteProgFlash = 1,
  kRemoteProg64k = 2,
  kRemoteSetbank = 3,
  kRemoteChkSum = 4,
  kRemoteUnlock = 5,
  kReFmtDBank = 6,
  kJReprog = 7,  // start-up patch location
  kReprog = 8,   // loader entry, target of the patch
  kSymbolCount = 9,
};

struct MapSymbol {
  const char* name;
  int32_t address = 0;
  std::vector<uint8_t> image;  // `size` bytes of the ROM at `address`, unscrambled
  int32_t size = 0;
  bool found = false;
};

struct RomImage {
  std::string romPath;
  bool scrambled = false;
  uint8_t rotateCount = 0;
  uint8_t xorKey = 0;
  uint32_t imageLength = 0;
  uint16_t imageSum = 0;
};

struct EngineState {
  int32_t enginePort = -1;
  int32_t transferBaud = 0;
  std::array<MapSymbol, kSymbolCount> symbols;
  RomImage rom;
};

constexpr size_t kBlockSize = 1024;        // unit of every image transfer
constexpr size_t kBankSize = 8192;         // eight blocks
constexpr uint32_t kStagedSize = 0x10000;  // the first 64 KB, staged in RAM banks
constexpr size_t kMapLineCapacity = 256;   // a map line holds at most 255 characters
constexpr size_t kMapTokenLimit = 79;      // longest token of a map line

EngineState& Engine();
uint16_t Low16(int32_t address);

// Reads a token as a hex number: blanks, a sign and "0x" may lead; reading
// stops at the first character that is not a hex digit; no digits give 0.
int32_t ParseHexAddress(const char* token);
void UnscrambleBytes(uint8_t* bytes, size_t count);

// The parts of a load, in the order it runs them.
void ResetSymbolTable();
bool ReadRomDescription(std::FILE* rom, uint64_t rom_length);
bool ScanMap(std::FILE* rom, uint64_t rom_length, std::FILE* map);
bool SumImage(std::FILE* rom);

bool LoadReproFiles(const char* rom_path, const char* map_path, int32_t port, int32_t baud);
// The part of the load that reads the opened files; the fuzz target drives it.
bool LoadFromStreams(std::FILE* rom, uint64_t rom_length, std::FILE* map);
void ReleaseReproFiles();

// Reads the image a block at a time, unscrambled, for steps 3 and 4.
class RomBlockReader {
 public:
  ~RomBlockReader();
  bool Open(uint32_t offset);
  // False when fewer than a whole block arrived (the file changed under us).
  bool Next(uint8_t* block);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace tpx
