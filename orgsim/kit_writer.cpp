// A sample update kit: a ROM image with the six resident routines, the
// loader's entry and formatter, its loader map, and a settings file naming
// both for the simulator's default organizer.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "orgsim/folders.h"
#include "orgsim/orgsim.h"
#include "orgsim/routine_image.h"
#include "orgsim/system_record.h"

namespace orgsim {
namespace {

constexpr uint32_t kMinKb = 64;    // the first 64 KB are always staged in RAM
constexpr uint32_t kMaxKb = 4096;  // 512 flash banks
constexpr uint32_t kKbStep = 8;    // whole flash banks: a shorter tail would never be programmed
constexpr uint32_t kJreprog = 0x0210;     // the start-up jump, two zero bytes in the image
constexpr uint32_t kReprog = 0x0240;      // the loader's entry, within a short jump of it
constexpr uint32_t kRoutinesAt = 0x6000;  // routine images, 0x100 apart, below the window
constexpr uint32_t kRoutineStride = 0x100;
constexpr uint8_t kRotateCount = 3;  // scrambling trailer: rotate ...
constexpr uint8_t kXorKey = 0x5A;    // ... and xor key
constexpr char kRomName[] = "VQ3SAMPLE.ROM";
constexpr char kMapName[] = "VQ3SAMPLE.MAP";
constexpr char kIniName[] = "VQ3UPD.ini";
constexpr char kNewSystemLine1[] = "SYSTEM V2.00";
constexpr char kNewSystemLine2[] = "2000/01/15";

// Where each routine lies in the image (and for the three entries, the
// organizer's address of it).
uint32_t AddressOf(RoutineKind kind) {
  if (kind == RoutineKind::kReprog) return kReprog;
  return kRoutinesAt + (static_cast<uint32_t>(kind) - 1) * kRoutineStride;
}

std::vector<uint8_t> BuildImage(uint32_t kb, Kit& kit) {
  std::vector<uint8_t> image(size_t{kb} * 1024);
  uint32_t state = 0x2545F491u ^ kb;  // xorshift: the same kit for the same size
  for (uint8_t& b : image) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state >> 24);
  }
  for (const RoutineInfo& info : Routines()) {
    const uint32_t parameter = info.kind == RoutineKind::kChkSum ? kb * 1024 : 0;
    const auto routine = RoutineImage(info.kind, parameter);
    std::copy(routine.begin(), routine.end(), image.begin() + AddressOf(info.kind));
  }
  std::vector<uint8_t> record;
  EncodeSystemRecord(kNewSystemLine1, kNewSystemLine2, &record);
  std::copy(record.begin(), record.end(), image.begin() + kSystemRecordOffset);
  image[kJreprog] = 0;
  image[kJreprog + 1] = 0;
  kit.jreprog = kJreprog;
  kit.reprog = kReprog;
  kit.refmtdbank = AddressOf(RoutineKind::kFmtDBank);
  kit.new_system_line1 = kNewSystemLine1;
  kit.new_system_line2 = kNewSystemLine2;
  return image;
}

std::vector<uint8_t> Scramble(const std::vector<uint8_t>& image) {
  std::vector<uint8_t> out(image.size());
  for (size_t i = 0; i < image.size(); ++i) {
    const uint8_t b = image[i];
    out[i] = static_cast<uint8_t>(((b << kRotateCount) | (b >> (8 - kRotateCount))) ^ kXorKey);
  }
  out.push_back(kRotateCount);
  out.push_back(kXorKey);
  return out;
}

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// As a linker writes it: a header, sections, the symbols among others, a
// trailer. No unrelated line contains one of the nine names.
std::string BuildMap(uint32_t kb) {
  std::string map =
      "VQ3 LOADER LINK MAP\n"
      "Linker 2.13    Thu Apr 01 10:12:44 1999\n\n"
      "Section    Start     End       Size\n"
      "CODE       00000000  " +
      Hex8(kb * 1024 - 1) + "  " + Hex8(kb * 1024) +
      "\n"
      "WORK       0000C000  0000FFFF  00004000\n\n"
      "Symbol              Address   Module\n"
      "_start              00000000  crt0\n"
      "_SysRecord          00000100  sysid\n";
  auto line = [](const std::string& name, uint32_t address, const char* module) {
    std::string padded = name;
    padded.resize(20, ' ');
    return padded + Hex8(address) + "  " + module + "\n";
  };
  map += line("_JREPROG", kJreprog, "boot");
  map += line("REPROG", kReprog, "loader");
  map += "_main               00001000  main\n";
  for (const RoutineInfo& info : Routines()) {
    if (info.kind == RoutineKind::kReprog) continue;
    map += line(info.name, AddressOf(info.kind), "remote");
  }
  map +=
      "_heap_start         0000C800  crt0\n\n"
      "Total symbols: 13\n";
  return map;
}

std::string BuildIni(const std::string& rom, const std::string& map) {
  const Config organizer;  // the simulator's default organizer is the one served
  const std::string entry =
      organizer.system_line1 + "," + organizer.system_line2 + "," + rom + "," + map + "\n";
  return "[Settings]\n"
         "Caption=VQ3 Sample Update\n"
         "BaudRate=38400\n"
         "MType=0\n"
         "ForceDefault=0\n\n"
         "[Default]\n"
         "ROM=" +
         rom + "\nMAP=" + map +
         "\n\n"
         "[ROM FILE]\n"
         "A=TR-150," +
         entry + "B=TR-100," + entry;
}

bool WriteTemporary(const std::string& path, const void* data, size_t size, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (ok && size > 0) {
    const ssize_t n = write(fd, bytes, size);
    ok = n > 0;
    if (ok) {
      bytes += n;
      size -= static_cast<size_t>(n);
    }
  }
  ok = ok && fsync(fd) == 0;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok && error) *error = "cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

// The settings file takes at most 255 characters a value and separates the
// values of a "ROM FILE" entry with commas: a folder that does not fit is
// refused before anything is written.
bool SettingsCanName(const std::string& folder, std::string* error) {
  constexpr size_t kValueMax = 255;  // characters of one settings value
  const size_t longest = folder.size() + 1 + sizeof kRomName - 1;
  if (longest > kValueMax) {
    if (error) *error = "kit folder " + folder + ": its file names would exceed 255 characters";
    return false;
  }
  if (folder.find_first_of(",\r\n") != std::string::npos) {
    if (error) *error = "kit folder " + folder + ": a comma or line break cannot go in VQ3UPD.ini";
    return false;
  }
  return true;
}

}  // namespace

std::optional<Kit> WriteKit(const std::string& dir, uint32_t kb, bool scrambled,
                            std::string* error) {
  if (kb < kMinKb || kb > kMaxKb || kb % kKbStep != 0) {
    if (error) *error = "kit size " + std::to_string(kb) + " KB: a multiple of 8 from 64 to 4096";
    return std::nullopt;
  }
  char* cwd = getcwd(nullptr, 0);
  const std::string absolute = !dir.empty() && dir[0] != '/' && cwd ? cwd + ("/" + dir) : dir;
  free(cwd);
  if (!dir.empty() && !SettingsCanName(absolute, error)) return std::nullopt;
  if (dir.empty() || !MakeFolders(dir, 0755, error)) {
    if (error && dir.empty()) *error = "no kit folder given";
    return std::nullopt;
  }
  char* real = realpath(dir.c_str(), nullptr);
  const std::string folder = real ? real : dir;
  free(real);
  if (!SettingsCanName(folder, error)) return std::nullopt;
  Kit kit;
  kit.image = BuildImage(kb, kit);
  kit.rom_path = folder + "/" + kRomName;
  kit.map_path = folder + "/" + kMapName;
  kit.ini_path = folder + "/" + kIniName;
  const std::vector<uint8_t> rom = scrambled ? Scramble(kit.image) : kit.image;
  const std::string map = BuildMap(kb);
  // Absolute names, so the settings work wherever the program runs from.
  const std::string ini = BuildIni(kit.rom_path, kit.map_path);
  const std::string suffix = ".part-" + std::to_string(getpid());
  const std::string parts[3] = {kit.rom_path, kit.map_path, kit.ini_path};
  bool ok = WriteTemporary(parts[0] + suffix, rom.data(), rom.size(), error) &&
            WriteTemporary(parts[1] + suffix, map.data(), map.size(), error) &&
            WriteTemporary(parts[2] + suffix, ini.data(), ini.size(), error);
  for (const std::string& path : parts) {
    if (ok && rename((path + suffix).c_str(), path.c_str()) != 0) {
      if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
      ok = false;
    }
    unlink((path + suffix).c_str());
  }
  if (!ok) return std::nullopt;
  return kit;
}

}  // namespace orgsim
