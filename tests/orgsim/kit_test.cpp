// The sample kit: its files agree with each other, and an update run by the
// loader's own rules, request by request, leaves the image in flash.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "organizer_fixture.h"
#include "orgsim/orgsim.h"
#include "orgsim/system_record.h"

namespace orgsim::test {
namespace {

namespace fs = std::filesystem;

const char* const kNames[] = {"RemoteTuneRate", "RemoteProgFlash", "RemoteProg64k",
                              "RemoteSetbank",  "RemoteChkSum",    "RemoteUnlock",
                              "ReFmtDBank",     "_JREPROG",        "REPROG"};

class KitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("orgsim-kit-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }

  // The map read as the host reads it: the first of the nine names found in
  // a line takes it, and the line's second token is the hex address.
  static std::map<std::string, uint32_t> ReadMap(const std::string& path) {
    std::map<std::string, uint32_t> found;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line) && found.size() < 9) {
      for (const char* name : kNames) {
        if (line.find(name) == std::string::npos) continue;
        std::istringstream tokens(line);
        std::string first, second;
        tokens >> first >> second;
        EXPECT_EQ(found.count(name), 0u) << name << " twice";
        found[name] = static_cast<uint32_t>(std::stoul(second, nullptr, 16));
        break;
      }
    }
    return found;
  }

  fs::path dir_;
};

TEST_F(KitTest, FilesAgreeWithEachOther) {
  for (bool scrambled : {false, true}) {
    std::string error;
    const auto kit = WriteKit(dir_.string(), 72, scrambled, &error);
    ASSERT_TRUE(kit) << error;
    const Bytes rom = ReadFile(kit->rom_path);
    ASSERT_EQ(rom.size(), 72u * 1024 + (scrambled ? 2 : 0));
    ASSERT_EQ(kit->image.size(), 72u * 1024);
    Bytes plain(rom.begin(), rom.begin() + 72 * 1024);
    if (scrambled) {
      const uint8_t rotate = rom[rom.size() - 2], key = rom[rom.size() - 1];
      ASSERT_GT(rotate, 0);
      ASSERT_LE(rotate, 8);
      for (uint8_t& b : plain) {
        const uint8_t t = b ^ key;
        b = static_cast<uint8_t>((t << (8 - rotate)) | (t >> rotate));
      }
    }
    EXPECT_EQ(plain, kit->image) << "scrambled " << scrambled;

    const auto map = ReadMap(kit->map_path);
    ASSERT_EQ(map.size(), 9u);
    for (const RoutineInfo& info : Routines()) {
      const uint32_t at = map.at(info.name);
      ASSERT_LE(at + info.size, plain.size());
      const auto routine = RecognizeRoutine(std::span(plain).subspan(at));
      ASSERT_TRUE(routine) << info.name;
      EXPECT_EQ(routine->kind, info.kind);
    }
    EXPECT_EQ(map.at("RemoteChkSum") != 0, true);
    const uint32_t j = map.at("_JREPROG"), r = map.at("REPROG");
    EXPECT_EQ(j, kit->jreprog);
    EXPECT_EQ(r, kit->reprog);
    EXPECT_EQ(map.at("ReFmtDBank"), kit->refmtdbank);
    EXPECT_EQ(plain[j], 0x00);
    EXPECT_EQ(plain[j + 1], 0x00);
    EXPECT_NE(j & 0x3FF, 0x3FFu) << "the jump's two bytes share one kilobyte";
    EXPECT_LT(kit->refmtdbank, 0xA000u) << "the formatter is reachable in fixed flash";
    const auto lines = DecodeSystemRecord(std::span(plain).subspan(kSystemRecordOffset));
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->first, kit->new_system_line1);

    // The map has lines that are not the nine names, before and after them.
    std::ifstream m(kit->map_path);
    std::string all((std::istreambuf_iterator<char>(m)), {});
    EXPECT_LT(all.find("VQ3 LOADER LINK MAP"), all.find("RemoteTuneRate"));
    EXPECT_GT(all.find("Total symbols"), all.find("ReFmtDBank"));
  }
}

TEST_F(KitTest, SettingsNameTheFilesInTheirThreeSections) {
  std::string error;
  const auto kit = WriteKit(dir_.string(), 64, false, &error);
  ASSERT_TRUE(kit) << error;
  std::ifstream f(kit->ini_path);
  std::string ini((std::istreambuf_iterator<char>(f)), {});
  const Config organizer;
  for (const std::string& wanted :
       {std::string("[Settings]\n"), std::string("\nBaudRate=38400\n"),
        std::string("\n[Default]\nROM=") + kit->rom_path + "\nMAP=" + kit->map_path + "\n",
        std::string("\n[ROM FILE]\nA=TR-150,") + organizer.system_line1 + "," +
            organizer.system_line2 + "," + kit->rom_path + "," + kit->map_path + "\n"}) {
    EXPECT_NE(ini.find(wanted), std::string::npos) << wanted << "\nin\n" << ini;
  }
}

TEST_F(KitTest, RefusesBadSizesAndWritesNothing) {
  for (uint32_t kb : {0u, 56u, 68u, 4104u}) {
    std::string error;
    EXPECT_FALSE(WriteKit(dir_.string(), kb, false, &error)) << kb;
    EXPECT_NE(error.find(std::to_string(kb)), std::string::npos) << error;
  }
  EXPECT_FALSE(fs::exists(dir_ / "VQ3SAMPLE.ROM"));
  // Folders the settings file cannot name are refused before anything is made.
  for (const fs::path& bad : {dir_ / "a,b", dir_ / std::string(250, 'd')}) {
    std::string error;
    EXPECT_FALSE(WriteKit(bad.string(), 64, false, &error)) << bad;
    EXPECT_NE(error.find(bad.string()), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(bad));
  }
  // A folder that cannot be made is named in the error.
  std::string error;
  EXPECT_FALSE(WriteKit("/proc/orgsim-no-such/kit", 64, false, &error));
  EXPECT_NE(error.find("/proc/orgsim-no-such"), std::string::npos) << error;
}

// The eight steps as the loader sees them, built from the kit's own files.
class ModelUpdate {
 public:
  ModelUpdate(const Kit& kit, OrganizerDriver& d) : kit_(kit), d_(d) {}

  void Run() {
    const auto& image = kit_.image;
    auto routine = [&](RoutineKind kind) {
      for (const RoutineInfo& info : Routines()) {
        if (info.kind != kind) continue;
        const uint32_t at = AddressOf(kind);
        return Bytes(image.begin() + at, image.begin() + at + info.size);
      }
      return Bytes{};
    };
    ASSERT_TRUE(d_.organizer.OnMessage(Text("WSYS PATCH SEND")).messages.empty());
    ASSERT_EQ(OrganizerDriver::StatusOf(d_.organizer.OnMessage(Request(kReproOpReady))), 0);
    // Step 0 to 2.
    ASSERT_EQ(d_.Write(0xE300, routine(RoutineKind::kTuneRate)), 0);
    ASSERT_EQ(d_.CallRaw(0xE300, 4).speed_before, 38400u);
    ASSERT_EQ(d_.Write(0xE300, routine(RoutineKind::kUnlock)), 0);
    ASSERT_EQ(d_.Call(0xE300), 0);
    ASSERT_EQ(d_.Write(0xE300, routine(RoutineKind::kProgFlash)), 0);
    ASSERT_EQ(d_.Write(0xE800, routine(RoutineKind::kSetbank)), 0);
    ASSERT_EQ(d_.Write(0xC000, {0x55, 0x55}), 0);
    ASSERT_EQ(d_.Write(0xC002, {0xAA, 0x2A}), 0);
    ASSERT_EQ(d_.Write(0xC004, {0x55, 0x55}), 0);
    // Step 3: the first 64 KB in RAM banks, the start-up jump patched in.
    const uint32_t j = kit_.jreprog, r = kit_.reprog;
    for (uint16_t bank = 0; bank < 8; ++bank) {
      ASSERT_EQ(d_.Call(0xE800, 0x418 + bank), 0);
      for (uint32_t block = 0; block < 8; ++block) {
        const uint32_t at = bank * 0x2000 + block * 0x400;
        Bytes kb(image.begin() + at, image.begin() + at + 0x400);
        if (j >= at && j < at + 0x400) {
          kb[j - at] = 0x18;
          kb[j - at + 1] = static_cast<uint8_t>(r - j - 2);
        }
        ASSERT_EQ(d_.Write(static_cast<uint16_t>(0xA000 + block * 0x400), kb), 0);
      }
    }
    // Step 4.
    ASSERT_EQ(d_.Write(0xE880, routine(RoutineKind::kProg64k)), 0);
    ASSERT_EQ(d_.Call(0xE880), 0);
    for (uint32_t bank = 8; bank < image.size() / 0x2000; ++bank) {
      for (uint32_t block = 0; block < 8; ++block) {
        const uint32_t at = bank * 0x2000 + block * 0x400;
        ASSERT_EQ(d_.Write(0xE400, Bytes(image.begin() + at, image.begin() + at + 0x400)), 0);
        ASSERT_EQ(d_.Call(0xE300, static_cast<uint16_t>(0xA000 + block * 0x400), 0xE400, 0x400,
                          static_cast<uint16_t>(bank)),
                  0);
      }
    }
    // Step 5: the image sum with the jump in place.
    uint16_t sum = 0;
    for (uint8_t b : image) sum = static_cast<uint16_t>(sum + b);
    ASSERT_EQ(d_.Write(0xE400, routine(RoutineKind::kChkSum)), 0);
    ASSERT_EQ(d_.Call(0xE400, static_cast<uint16_t>(sum + r - j + 0x16)), 0);
    // Step 6.
    ASSERT_EQ(d_.Write(0xE400, {0x00, 0x00}), 0);
    ASSERT_EQ(d_.Call(0xE300, static_cast<uint16_t>(j), 0xE400, 2, 0), 0);
    ASSERT_EQ(d_.Read(static_cast<uint16_t>(j), 2).first, (Bytes{0x00, 0x00}));
    // Step 7.
    ASSERT_TRUE(d_.CallRaw(static_cast<uint16_t>(kit_.refmtdbank)).restart);
  }

 private:
  uint32_t AddressOf(RoutineKind kind) const {
    // The kit's addresses, through its own map.
    const auto map = KitMap();
    return map.at(InfoOf(kind).name);
  }
  std::map<std::string, uint32_t> KitMap() const {
    std::map<std::string, uint32_t> found;
    std::ifstream f(kit_.map_path);
    std::string line;
    while (std::getline(f, line)) {
      for (const char* name : kNames) {
        if (line.find(name) == std::string::npos) continue;
        std::istringstream tokens(line);
        std::string first, second;
        tokens >> first >> second;
        found[name] = static_cast<uint32_t>(std::stoul(second, nullptr, 16));
        break;
      }
    }
    return found;
  }

  const Kit& kit_;
  OrganizerDriver& d_;
};

TEST_F(KitTest, AnUpdateByTheLoadersRulesLeavesTheImageInFlash) {
  std::string error;
  const auto kit = WriteKit(dir_.string(), 80, false, &error);
  ASSERT_TRUE(kit) << error;
  Config c;
  c.flash_banks = 10;
  OrganizerDriver d{c};
  ModelUpdate(*kit, d).Run();
  if (HasFatalFailure()) return;
  EXPECT_EQ(d.organizer.memory().flash(), kit->image);
  EXPECT_EQ(d.organizer.summary().checksum_result, "pass");
  EXPECT_TRUE(d.organizer.summary().databank_formatted);
  d.organizer.Restart();
  EXPECT_EQ(d.organizer.summary().system_line1, kit->new_system_line1);
  EXPECT_EQ(d.organizer.summary().system_line2, kit->new_system_line2);
}

}  // namespace
}  // namespace orgsim::test
