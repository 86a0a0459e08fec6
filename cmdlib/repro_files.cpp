#include "cmdlib/repro_files.h"

#include "cmdlib/progress.h"

namespace tpx {
namespace {

// Both patch bytes must lie in the staged 64 KB: a `_JREPROG` at 0xFFFF would
// put the displacement into flash bank 8, which only a wrong map can ask for.
bool PatchFitsStagedImage() {
  if (Low16(Engine().symbols[kJReprog].address) + 1u < kStagedSize) return true;
  TraceText("Start-up patch outside the first 64KB.\n");
  return false;
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

bool LoadFromStreams(std::FILE* rom, uint64_t rom_length, std::FILE* map) {
  ResetSymbolTable();
  if (!ReadRomDescription(rom, rom_length)) return false;
  if (!ScanMap(rom, rom_length, map)) return false;
  if (!PatchFitsStagedImage()) return false;
  return SumImage(rom);
}

bool LoadReproFiles(const char* rom_path, const char* map_path, int32_t port, int32_t baud) {
  EngineState& engine = Engine();
  engine.enginePort = port;
  engine.rom.romPath = rom_path;
  ResetSymbolTable();
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

}  // namespace tpx
