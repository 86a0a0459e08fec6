#include <gtest/gtest.h>

#include <string>

#include "platform/detail/port_names.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "temp_dir.h"

namespace platform {
namespace {

using detail::DescribeOpenFailure;
using detail::OpenFailure;
using platform_test::ScopedEnv;
using platform_test::TempDir;

struct WordsCase {
  const char* name;
  const char* path;
  OpenFailure failure;
  const char* group;
  const char* words;
};

TEST(OpenFailureWords, SayWhatIsWrongAndWhatToDo) {
  ScopedEnv home("HOME", "/home/ann");
  ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
  const WordsCase cases[] = {
      {"COM3", "/dev/ttyS2", OpenFailure::kPermission, "dialout",
       "COM3 (/dev/ttyS2): permission denied. The device belongs to group dialout; add yourself "
       "with `sudo usermod -aG dialout $USER`, then log in again.\n"},
      {"/dev/ttyACM0", "/dev/ttyACM0", OpenFailure::kPermission, "uucp",
       "/dev/ttyACM0: permission denied. The device belongs to group uucp; add yourself with "
       "`sudo usermod -aG uucp $USER`, then log in again.\n"},
      {"COM3", "/dev/ttyS2", OpenFailure::kInUse, "",
       "COM3 (/dev/ttyS2) is in use by another program; close it and try again.\n"},
      {"COM12", "", OpenFailure::kNoSuchPort, "",
       "COM12: no such serial port. Connect the docking module or link "
       "~/.config/vq3upd/ports/COM12 to the device.\n"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0", OpenFailure::kNoSuchDevice, "",
       "/dev/ttyUSB0: no such device; check the cable and the device name.\n"},
      {"COMx", "", OpenFailure::kBadName, "",
       "\"COMx\": not a port name. Use COM1 to COM256 or a device path such as /dev/ttyUSB0.\n"},
      {"/tmp/notes.txt", "/tmp/notes.txt", OpenFailure::kNotSerialDevice, "",
       "/tmp/notes.txt: not a serial device; name a serial port such as /dev/ttyUSB0.\n"},
  };
  for (const WordsCase& c : cases) {
    EXPECT_EQ(DescribeOpenFailure(c.name, c.path, c.failure, c.group), c.words) << c.words;
  }
}

TEST(OpenFailureWords, NoSuchPortNamesTheUsersOwnConfigFolder) {
  ScopedEnv config("XDG_CONFIG_HOME", "/srv/cfg");
  EXPECT_EQ(DescribeOpenFailure("com7", "", OpenFailure::kNoSuchPort),
            "com7: no such serial port. Connect the docking module or link "
            "/srv/cfg/vq3upd/ports/COM7 to the device.\n");
}

TEST(OpenFailureWords, OtherFailuresCarryTheSystemsReason) {
  EXPECT_EQ(
      DescribeOpenFailure("COM1", "/dev/ttyS0", OpenFailure::kOther, "", "Input/output error"),
      "COM1 (/dev/ttyS0): cannot be opened (Input/output error).\n");
}

// Real failures of OpenSerial: the reason is kept, traced, and cleared by a success.
class OpenSerialFailure : public ::testing::Test {
 protected:
  OpenSerialFailure()
      : config_("XDG_CONFIG_HOME", dir_ / "config"), trace_("VQ3_TRACE", dir_ / "trace.log") {}
  TempDir dir_;
  ScopedEnv config_;
  ScopedEnv trace_;
};

TEST_F(OpenSerialFailure, MissingDevicePath) {
  const std::string path = dir_ / "ttyUSB9";
  EXPECT_EQ(OpenSerial(path), -1);
  const std::string words = path + ": no such device; check the cable and the device name.\n";
  EXPECT_EQ(LastOpenError(), words);
  EXPECT_EQ(platform_test::ReadFile(dir_ / "trace.log"), words);
}

TEST_F(OpenSerialFailure, DanglingUserLinkNamesThePortAndTheLink) {
  const std::string link = dir_ / "config/vq3upd/ports/COM200";
  std::filesystem::create_directories(dir_ / "config/vq3upd/ports");
  std::filesystem::create_symlink(dir_ / "unplugged", link);
  EXPECT_EQ(OpenSerial("com200"), -1);
  EXPECT_EQ(LastOpenError(),
            "com200 (" + link + "): no such device; check the cable and the device name.\n");
}

TEST_F(OpenSerialFailure, PlainFileIsNotASerialDevice) {
  const std::string file = dir_.Touch("notes.txt");
  EXPECT_EQ(OpenSerial(file), -1);
  EXPECT_EQ(LastOpenError(),
            file + ": not a serial device; name a serial port such as /dev/ttyUSB0.\n");
}

TEST_F(OpenSerialFailure, BadNameAndUnknownComPort) {
  EXPECT_EQ(OpenSerial("printer"), -1);
  EXPECT_EQ(LastOpenError(),
            "\"printer\": not a port name. Use COM1 to COM256 or a device path such as "
            "/dev/ttyUSB0.\n");
  if (!ResolvePortName("COM256").empty()) GTEST_SKIP() << "this machine has 256 serial ports";
  EXPECT_EQ(OpenSerial("COM256"), -1);
  EXPECT_EQ(LastOpenError(), "COM256: no such serial port. Connect the docking module or link " +
                                 dir_ / "config/vq3upd/ports/COM256" + " to the device.\n");
}

}  // namespace
}  // namespace platform
