// The loader map and the ROM image: the map rule, unscrambling, the image sum
// and the files this tool refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "cmdlib/library_state.h"
#include "cmdlib/repro_files.h"
#include "platform/windows.h"
#include "tests/cmdlib/kit_files.h"
#include "tests/cmdlib/recording_link.h"

namespace tpxtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ReproFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    Fake().Init(window_);
    tpx::UseWM(1);
  }
  void TearDown() override {
    tpx::ReleaseReproFiles();
    ResetFake();
    platform::DestroyWindow(window_);
  }

  bool Load(const std::vector<uint8_t>& image, const std::string& map, Scrambling s = {},
            std::vector<uint8_t> tail = {}) {
    WriteRom(rom_, image, s, tail);
    WriteText(map_, map);
    return tpx::LoadReproFiles(rom_.c_str(), map_.c_str(), kPort, 38400);
  }
  bool LoadMap(const std::string& map) { return Load(MakeImage(0x12000, 0x1234), map); }
  int32_t Address(tpx::SymbolIndex i) const { return tpx::Engine().symbols[i].address; }
  // Progress messages delivered to the owner window.
  std::vector<std::pair<uintptr_t, intptr_t>> Posts() {
    platform::Pump();
    return posts_;
  }

  TempDir dir_;
  std::string rom_ = dir_.File("kit.rom"), map_ = dir_.File("kit.map");
  TraceCapture trace_;
  std::vector<std::pair<uintptr_t, intptr_t>> posts_;
  platform::WindowId window_ =
      platform::CreateWindow([this](platform::WindowId, uint32_t msg, uintptr_t w, intptr_t l) {
        if (msg == tpx::State().progressMessage) posts_.emplace_back(w, l);
      });
};

TEST_F(ReproFilesTest, RomLengthDecidesTrailerImageLengthAndTotal) {
  struct Row {
    const char* name;
    bool scrambled;
    std::vector<uint8_t> tail;
    size_t file_length;
  };
  const Row rows[] = {{"whole image", false, {}, 524288},
                      {"two-byte trailer", true, {}, 524290},
                      {"three stray bytes", false, {0xAA, 0xBB, 0xCC}, 524291}};
  const std::vector<uint8_t> image = MakeImage(524288, 0x1234);
  for (const Row& row : rows) {
    posts_.clear();
    ASSERT_TRUE(Load(image, MapText({}), {row.scrambled}, row.tail)) << row.name;
    EXPECT_EQ(std::filesystem::file_size(rom_), row.file_length) << row.name;
    const tpx::RomImage& rom = tpx::Engine().rom;
    EXPECT_EQ(rom.scrambled, row.scrambled) << row.name;
    EXPECT_EQ(rom.imageLength, 524288u) << row.name;
    EXPECT_EQ(rom.imageSum, Sum16(image, image.size())) << row.name;  // trailer not summed
    EXPECT_THAT(Posts(), ElementsAre(std::pair<uintptr_t, intptr_t>(2, 512))) << row.name;
    // Routine images come out unscrambled.
    const auto& unlock = tpx::Engine().symbols[tpx::kRemoteUnlock].image;
    EXPECT_EQ(unlock, std::vector<uint8_t>(image.begin() + 0x1500, image.begin() + 0x1580))
        << row.name;
  }
  EXPECT_THAT(trace_.Lines(), ElementsAre("Init passed.", "Init passed.", "Init passed."));
}

TEST_F(ReproFilesTest, ImageSumWrapsAtSixteenBits) {
  std::vector<uint8_t> image(0x10000, 0xFF);
  image[0x1234] = image[0x1235] = 0;
  ASSERT_TRUE(Load(image, MapText({})));
  EXPECT_EQ(tpx::Engine().rom.imageSum, static_cast<uint16_t>(0xFFFE * 0xFF));  // 0xFE02
}

TEST_F(ReproFilesTest, UnscrambleXorsThenRotatesRight) {
  struct Row {
    uint8_t rotate, key, in, out;
  };
  const Row rows[] = {{0, 0x5A, 0x5A, 0x00},
                      {1, 0x00, 0x03, 0x81},
                      {4, 0xFF, 0x0F, 0x0F},
                      {8, 0x01, 0x80, 0x81},
                      {3, 0x5A, 0x5A ^ 0x08, 0x01}};
  for (const Row& row : rows) {
    tpx::Engine().rom.rotateCount = row.rotate;
    tpx::Engine().rom.xorKey = row.key;
    uint8_t b = row.in;
    tpx::UnscrambleBytes(&b, 1);
    EXPECT_EQ(b, row.out) << int(row.rotate) << " " << int(row.key);
    EXPECT_EQ(ScrambleByte(row.out, {true, row.rotate, row.key}), row.in);
  }
}

TEST_F(ReproFilesTest, HexAddressRule) {
  const std::pair<const char*, int32_t> rows[] = {
      {"0000E300", 0xE300}, {"E300h", 0xE300}, {"0x0E300", 0xE300}, {"0X1f", 0x1F},
      {"+1F", 0x1F},        {"-10", -16},      {"xyz", 0},          {"0x", 0},
      {"0xg1", 0},          {"12:34", 0x12}};
  for (const auto& [token, value] : rows) EXPECT_EQ(tpx::ParseHexAddress(token), value) << token;
}

TEST_F(ReproFilesTest, JreprogLineNeverGoesToReprog) {
  std::string map = MapText({});
  map += "REPROG 7777\n";  // after all nine: never read
  ASSERT_TRUE(LoadMap(map));
  EXPECT_EQ(Address(tpx::kJReprog), 0x1234);
  EXPECT_EQ(Address(tpx::kReprog), 0x1240);
  // REPROG's line before _JREPROG's changes nothing either.
  ASSERT_TRUE(LoadMap("REPROG 1240\n_JREPROG 1234\n" + MapText({}).substr(0, 0) +
                      "RemoteTuneRate 1000\nRemoteProgFlash 1100\nRemoteProg64k 1200\n"
                      "RemoteSetbank 1300\nRemoteChkSum 1400\nRemoteUnlock 1500\n"
                      "ReFmtDBank 2000\n"));
  EXPECT_EQ(Address(tpx::kJReprog), 0x1234);
  EXPECT_EQ(Address(tpx::kReprog), 0x1240);
}

TEST_F(ReproFilesTest, MapLineVariants) {
  const std::string others =
      "RemoteTuneRate 1000\nRemoteProgFlash 1100\nRemoteProg64k 1200\nRemoteSetbank 1300\n"
      "RemoteChkSum 1400\nRemoteUnlock 1500\n_JREPROG 1234\n";
  struct Row {
    const char* name;
    std::string map;
    bool loads;
    int32_t reprog;
    std::vector<std::string> trace;
  };
  const std::string long_token(80, 'G');  // no hex digit: address 0
  const Row rows[] = {
      {"hex suffix letter",
       others + "ReFmtDBank 2000\nREPROG E300h\n",
       true,
       0xE300,
       {"Init passed."}},
      {"0x prefix", others + "ReFmtDBank 2000\nREPROG 0x0E300\n", true, 0xE300, {"Init passed."}},
      {"tabs and CR",
       others + "ReFmtDBank\t2000\r\n\tREPROG\t\t1240\r\n",
       true,
       0x1240,
       {"Init passed."}},
      {"missing ReFmtDBank",
       others + "REPROG 1240\n",
       false,
       0,
       {"Insufficient information in .MAP file."}},
      {"repeat: later line wins",
       "REPROG 1111\n" + others + "REPROG 1240\nReFmtDBank 2000\n",
       true,
       0x1240,
       {"Init passed."}},
      {"repeat does not stand in for a missing name",
       "REPROG 1111\n" + others + "REPROG 1240\nREPROG 1250\n",
       false,
       0,
       {"Insufficient information in .MAP file."}},
      {"one token",
       others + "ReFmtDBank 2000\nREPROG\n",
       false,
       0,
       {"Bad symbol line in .MAP file."}},
      {"80-character token",
       others + "ReFmtDBank 2000\nREPROG " + long_token + "\n",
       false,
       0,
       {"Bad symbol line in .MAP file."}},
      {"79-character token",
       others + "ReFmtDBank 2000\nREPROG " + long_token.substr(1) + "\n",
       true,
       0,
       {"Init passed."}},
      {"lines after the ninth are not read",
       others + "ReFmtDBank 2000\nREPROG 1240\nREPROG\nRemoteUnlock FFFFFF\n",
       true,
       0x1240,
       {"Init passed."}},
  };
  for (const Row& row : rows) {
    TraceCapture trace;
    EXPECT_EQ(LoadMap(row.map), row.loads) << row.name;
    if (row.loads) {
      EXPECT_EQ(Address(tpx::kReprog), row.reprog) << row.name;
    }
    EXPECT_EQ(trace.Lines(), row.trace) << row.name;
  }
}

TEST_F(ReproFilesTest, RefusedFilesPostNothingAndKeepNoImages) {
  KitLayout beyond;
  beyond.chksum = 0x11F01;  // 256 bytes from here run past the 0x12000-byte file
  KitLayout last_byte;
  last_byte.jreprog = 0xFFFF;
  struct Row {
    const char* name;
    std::vector<uint8_t> image;
    std::string map;
    Scrambling scrambling;
    std::vector<std::string> trace;
  };
  const Row rows[] = {
      {"routine beyond the file", MakeImage(0x12000, 0x1234), MapText(beyond), {}, {}},
      {"rotate count above 8",
       MakeImage(0x12000, 0x1234),
       MapText({}),
       {true, 9, 0x11},
       {"Bad scrambling in ROM file."}},
      {"image shorter than 64 KB",
       MakeImage(0xFC00, 0x1234),
       MapText({}),
       {},
       {"ROM file shorter than 64KB."}},
      {"patch at the last staged byte",
       MakeImage(0x12000, 0x1234),
       MapText(last_byte),
       {},
       {"Start-up patch outside the first 64KB."}},
  };
  for (const Row& row : rows) {
    TraceCapture trace;
    EXPECT_FALSE(Load(row.image, row.map, row.scrambling)) << row.name;
    EXPECT_THAT(Posts(), IsEmpty()) << row.name;
    EXPECT_EQ(trace.Lines(), row.trace) << row.name;
    EXPECT_TRUE(tpx::Engine().rom.romPath.empty()) << row.name;
    for (const tpx::MapSymbol& s : tpx::Engine().symbols) EXPECT_TRUE(s.image.empty()) << row.name;
  }
  EXPECT_THAT(Fake().calls, IsEmpty());
}

TEST_F(ReproFilesTest, RotateCountEightIsXorOnly) {
  std::vector<uint8_t> image = MakeImage(0x10000, 0x1234);
  ASSERT_TRUE(Load(image, MapText({}), {true, 8, 0xC3}));
  EXPECT_EQ(tpx::Engine().rom.imageSum, Sum16(image, image.size()));
}

TEST_F(ReproFilesTest, MissingFilesFailSilently) {
  WriteText(map_, MapText({}));
  EXPECT_FALSE(tpx::LoadReproFiles(dir_.File("none.rom").c_str(), map_.c_str(), kPort, 38400));
  WriteRom(rom_, MakeImage(0x10000, 0x1234), {});
  EXPECT_FALSE(tpx::LoadReproFiles(rom_.c_str(), dir_.File("none.map").c_str(), kPort, 38400));
  EXPECT_THAT(trace_.Lines(), IsEmpty());
  EXPECT_THAT(Posts(), IsEmpty());
}

}  // namespace
}  // namespace tpxtest
