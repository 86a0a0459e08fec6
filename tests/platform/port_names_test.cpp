#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/detail/port_names.h"
#include "platform/serial.h"
#include "temp_dir.h"

namespace platform {
namespace {

using detail::ComPortNumber;
using detail::ResolvePortNameUnder;
using platform_test::ScopedEnv;
using platform_test::TempDir;

// A fake /dev and a private config folder for each test.
class PortNamesTest : public ::testing::Test {
 protected:
  PortNamesTest() : config_("XDG_CONFIG_HOME", dir_ / "config") {}

  std::string Dev() const { return dir_ / "dev"; }
  void Nodes(std::initializer_list<const char*> names) {
    for (const char* name : names) dir_.Touch(std::string("dev/") + name);
  }
  std::string Link(const std::string& port, const std::string& target) {
    const std::string link = dir_ / ("config/vq3upd/ports/" + port);
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_symlink(target, link);
    return link;
  }

  TempDir dir_;
  ScopedEnv config_;
};

struct NameCase {
  const char* name;
  const char* node;  // under the fake /dev; "" = nothing
};

TEST_F(PortNamesTest, WineNumberingCountsEachFamilyUpToItsFirstGap) {
  Nodes({"ttyS0", "ttyS1", "ttyS3", "ttyUSB0", "ttyUSB2", "ttyACM0", "ttyACM1", "ttyXYZ0"});
  const NameCase cases[] = {
      {"COM1", "ttyS0"},   {"COM2", "ttyS1"},
      {"COM3", "ttyUSB0"},  // ttyS3 lies beyond the gap at ttyS2
      {"com4", "ttyACM0"},  // ttyUSB2 likewise
      {"Com5", "ttyACM1"}, {"COM6", ""},
      {"COM256", ""},
  };
  for (const NameCase& c : cases) {
    const std::string expected = *c.node ? Dev() + "/" + c.node : "";
    EXPECT_EQ(ResolvePortNameUnder(c.name, Dev()), expected) << c.name;
  }
}

TEST_F(PortNamesTest, MissingFamiliesAreSkipped) {
  Nodes({"ttyACM0"});
  EXPECT_EQ(ResolvePortNameUnder("COM1", Dev()), Dev() + "/ttyACM0");
  EXPECT_EQ(ResolvePortNameUnder("COM2", Dev()), "");
}

TEST_F(PortNamesTest, UserLinkWinsAndIsReturnedItself) {
  Nodes({"ttyS0"});
  const std::string link = Link("COM1", "/dev/pts/nowhere");
  EXPECT_EQ(ResolvePortNameUnder("COM1", Dev()), link) << "the link, not its target";
  EXPECT_EQ(ResolvePortNameUnder("cOm1", Dev()), link);
  EXPECT_EQ(ResolvePortNameUnder("COM2", Dev()), "") << "other ports still numbered";
}

TEST_F(PortNamesTest, EmptyConfigHomeMeansDotConfigInHome) {
  ScopedEnv empty("XDG_CONFIG_HOME", "");
  ScopedEnv home("HOME", dir_ / "home");
  const std::string link = dir_ / "home/.config/vq3upd/ports/COM9";
  std::filesystem::create_directories(dir_ / "home/.config/vq3upd/ports");
  std::filesystem::create_symlink("/dev/null", link);
  EXPECT_EQ(ResolvePortNameUnder("COM9", Dev()), link);
  ScopedEnv unset("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(ResolvePortNameUnder("COM9", Dev()), link);
}

TEST_F(PortNamesTest, PathsComeBackUnchanged) {
  for (const char* path : {"/dev/ttyUSB0", "/dev/serial/by-id/usb-Dock_123-if00", "./ttyS0"}) {
    EXPECT_EQ(ResolvePortName(path), path);
  }
}

TEST_F(PortNamesTest, BadNamesResolveToNothing) {
  Nodes({"ttyS0", "ttyS1"});
  Link("COM1", "/dev/null");
  for (const char* name : {"COM0", "COM257", "COM1000", "COMx", "COM", "", "COM01", "COM1 ",
                           " COM1", "COM+1", "COM-1", "LPT1", "CON1", "ttyS0"}) {
    EXPECT_EQ(ResolvePortNameUnder(name, Dev()), "") << '"' << name << '"';
  }
}

TEST(ComPortNumber, AcceptsOneToTwoHundredFiftySixInAnyCase) {
  const std::pair<const char*, int> cases[] = {
      {"COM1", 1},  {"com3", 3},   {"Com3", 3},   {"cOM12", 12}, {"COM256", 256},
      {"COM0", 0},  {"COM257", 0}, {"COM999", 0}, {"COM", 0},    {"COMx", 0},
      {"COM1a", 0}, {"COM007", 0}, {"", 0},
  };
  for (const auto& [name, number] : cases) EXPECT_EQ(ComPortNumber(name), number) << name;
  EXPECT_EQ(ComPortNumber(std::string("COM1\0", 5)), 0) << "an embedded NUL is not a digit";
}

}  // namespace
}  // namespace platform
