// The loader map: the nine symbols, found by name in its lines.
#include <cctype>
#include <cstring>
#include <optional>

#include "cmdlib/progress.h"
#include "cmdlib/repro_files.h"

namespace tpx {
namespace {

constexpr const char* kSymbolNames[kSymbolCount] = {
    "RemoteTuneRate", "RemoteProgFlash", "RemoteProg64k", "RemoteSetbank", "RemoteChkSum",
    "RemoteUnlock",   "ReFmtDBank",      "_JREPROG",      "REPROG",
};
constexpr int32_t kSymbolSizes[kSymbolCount] = {64, 256, 256, 128, 256, 128, 0, 0, 0};

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

}  // namespace

void ResetSymbolTable() {
  for (size_t i = 0; i < kSymbolCount; ++i) {
    MapSymbol& symbol = Engine().symbols[i];
    symbol.name = kSymbolNames[i];
    symbol.address = 0;
    symbol.image.clear();
    symbol.size = kSymbolSizes[i];
    symbol.found = false;
  }
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

}  // namespace tpx
