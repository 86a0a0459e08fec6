#include "cmdlib/repro_files.h"

#include <cctype>
#include <cstring>
#include <optional>

#include "cmdlib/progress.h"

namespace tpx {
namespace {

constexpr size_t kScrambleTrailerSize = 2;  // rotate count, xor key
constexpr uint8_t kMaxRotateCount = 8;

constexpr const char* kSymbolNames[kSymbolCount] = {
    "RemoteTuneRate", "RemoteProgFlash", "RemoteProg64k", "RemoteSetbank", "RemoteChkSum",
    "RemoteUnlock",   "ReFmtDBank",      "_JREPROG",      "REPROG",
};
constexpr int32_t kSymbolSizes[kSymbolCount] = {64, 256, 256, 128, 256, 128, 0, 0, 0};

void ResetTable() {
  for (size_t i = 0; i < kSymbolCount; ++i) {
    MapSymbol& symbol = Engine().symbols[i];
    symbol.name = kSymbolNames[i];
    symbol.address = 0;
    symbol.image.clear();
    symbol.size = kSymbolSizes[i];
    symbol.found = false;
  }
}

// The first two blank-separated tokens of a line; none when the line has
// fewer, or when one is longer than a map ever writes.
std::optional<std::array<std::string, 2>> FirstTwoTokens(const char* line) {
  std::array<std::string, 2> tokens;
  const char* p = line;
  for (std::string& token : tokens) {
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    size_t length = static_cast<size_t>(p - start);
    if (length == 0 || length > kMapTokenLimit) return std::nullopt;
    token.assign(start, length);
  }
  return tokens;
}

bool ReadRoutineImage(std::FILE* rom, uint64_t rom_length, MapSymbol& symbol) {
  if (symbol.size == 0) return true;
  if (symbol.address < 0 ||
      static_cast<uint64_t>(symbol.address) + static_cast<uint64_t>(symbol.size) > rom_length) {
    return false;
  }
  symbol.image.assign(static_cast<size_t>(symbol.size), 0);
  if (std::fseek(rom, symbol.address, SEEK_SET) != 0) return false;
  if (std::fread(symbol.image.data(), 1, symbol.image.size(), rom) != symbol.image.size()) {
    return false;
  }
  if (Engine().rom.scrambled) UnscrambleBytes(symbol.image.data(), symbol.image.size());
  return true;
}

// The line's symbol, tested in table order so that "_JREPROG" never reaches "REPROG".
MapSymbol* SymbolOfLine(const char* line) {
  for (MapSymbol& symbol : Engine().symbols) {
    if (std::strstr(line, symbol.name) != nullptr) return &symbol;
  }
  return nullptr;
}

// Reads map lines until all nine symbols are known. A repeated name counts
// once: its later line replaces the earlier address and image, and reading
// goes on, so a map that repeats a name still needs every other symbol. A
// matching line without a readable second token is outside the map format and
// fails the load rather than give a routine a made-up address.
bool ScanMap(std::FILE* rom, uint64_t rom_length, std::FILE* map) {
  size_t found = 0;
  char line[kMapLineCapacity];
  while (found < kSymbolCount && std::fgets(line, sizeof(line), map) != nullptr) {
    MapSymbol* symbol = SymbolOfLine(line);
    if (symbol == nullptr) continue;
    std::optional<std::array<std::string, 2>> tokens = FirstTwoTokens(line);
    if (!tokens) {
      TraceText("Bad symbol line in .MAP file.\n");
      return false;
    }
    symbol->address = ParseHexAddress((*tokens)[1].c_str());
    if (!ReadRoutineImage(rom, rom_length, *symbol)) return false;
    if (!symbol->found) ++found;
    symbol->found = true;
  }
  if (found < kSymbolCount) {
    TraceText("Insufficient information in .MAP file.\n");
    return false;
  }
  return true;
}

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

// The staged block that holds the displacement byte follows the one that holds
// 0x18 when `_JREPROG` is a kilobyte's last byte; at 0xFFFF it would fall
// outside the staged 64 KB, which only a map that is wrong can ask for.
bool PatchFitsStagedImage() {
  if (Low16(Engine().symbols[kJReprog].address) + 1u < kStagedSize) return true;
  TraceText("Start-up patch outside the first 64KB.\n");
  return false;
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

uint64_t FileLength(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  long length = std::ftell(file);
  return length < 0 ? 0 : static_cast<uint64_t>(length);
}

}  // namespace

EngineState& Engine() {
  static EngineState* state = new EngineState;  // process-wide, like the connection
  return *state;
}

uint16_t Low16(int32_t address) {
  return static_cast<uint16_t>(address & 0xFFFF);
}

int32_t ParseHexAddress(const char* token) {
  const char* p = token;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      std::isxdigit(static_cast<unsigned char>(p[2]))) {
    p += 2;
  }
  uint32_t value = 0;  // more digits than 32 bits hold keep the low 32 bits
  for (; std::isxdigit(static_cast<unsigned char>(*p)); ++p) {
    int digit =
        std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : std::tolower(*p) - 'a' + 10;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

void UnscrambleBytes(uint8_t* bytes, size_t count) {
  const RomImage& image = Engine().rom;
  unsigned rotate = image.rotateCount % 8u;  // 0 and 8 leave the byte as it is
  for (size_t i = 0; i < count; ++i) {
    unsigned t = static_cast<uint8_t>(bytes[i] ^ image.xorKey);
    bytes[i] = static_cast<uint8_t>(((t << (8u - rotate)) | (t >> rotate)) & 0xFFu);
  }
}

bool LoadFromStreams(std::FILE* rom, uint64_t rom_length, std::FILE* map) {
  ResetTable();
  if (!ReadRomDescription(rom, rom_length)) return false;
  if (!ScanMap(rom, rom_length, map)) return false;
  if (!PatchFitsStagedImage()) return false;
  return SumImage(rom);
}

bool LoadReproFiles(const char* rom_path, const char* map_path, int32_t port, int32_t baud) {
  EngineState& engine = Engine();
  engine.enginePort = port;
  engine.rom.romPath = rom_path;
  ResetTable();
  std::FILE* rom = std::fopen(rom_path, "rb");
  if (rom == nullptr) return false;
  std::FILE* map = std::fopen(map_path, "r");
  if (map == nullptr) {
    std::fclose(rom);
    return false;
  }
  bool loaded = LoadFromStreams(rom, FileLength(rom), map);
  std::fclose(rom);
  std::fclose(map);
  if (!loaded) {
    ReleaseReproFiles();
    return false;
  }
  engine.transferBaud = baud;
  PostProgress(kProgressTotal, static_cast<intptr_t>(engine.rom.imageLength / kBlockSize));
  TraceText("Init passed.\n");
  return true;
}

void ReleaseReproFiles() {
  for (MapSymbol& symbol : Engine().symbols) {
    symbol.image.clear();
    symbol.image.shrink_to_fit();
  }
  Engine().rom.romPath.clear();
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
