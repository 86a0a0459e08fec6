// The termios device against a real pseudo-terminal: the test holds the
// master side, the device under test opens the slave by its path.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory_line.h"
#include "platform/serial.h"
#include "temp_dir.h"

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;
using platform_test::ScopedEnv;
using platform_test::TempDir;

constexpr uint32_t kPatienceMs = 2000;  // generous: the bytes are already on their way

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    termios raw{};
    cfmakeraw(&raw);
    int slave = -1;
    // Raw from the start, or the fresh pair echoes what the master writes.
    ASSERT_EQ(openpty(&master_, &slave, nullptr, &raw, nullptr), 0);
    char name[128] = {};
    ASSERT_EQ(ptsname_r(master_, name, sizeof name), 0);
    path_ = name;
    close(slave);
  }
  void TearDown() override {
    if (handle_ >= 0) CloseSerial(handle_);
    if (master_ >= 0) close(master_);
  }

  int32_t Open(const std::string& name) {
    handle_ = OpenSerial(name);
    return handle_;
  }
  SerialDevice& Device() { return *FindSerial(handle_); }
  termios Settings() {
    termios t{};
    EXPECT_EQ(tcgetattr(handle_, &t), 0);
    return t;
  }
  void MasterWrite(const Bytes& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  Bytes MasterRead(size_t count) {
    Bytes got;
    while (got.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, kPatienceMs) <= 0) break;
      uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  Bytes DeviceRead(size_t count) {
    Bytes got;
    while (got.size() < count && Device().WaitReadable(kPatienceMs) == WaitResult::kReady) {
      uint8_t buffer[256];
      const int32_t n = Device().Read(buffer, sizeof buffer);
      if (n < 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  int master_ = -1;
  int32_t handle_ = -1;
  std::string path_;
};

TEST_F(PtyTest, OpensRawAt9600WithEightDataBitsAndOneStopBit) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  EXPECT_EQ(LastOpenError(), "");
  EXPECT_LT(handle_, 0x40000000) << "a real device's handle is its descriptor";
  EXPECT_EQ(fcntl(handle_, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_NE(fcntl(handle_, F_GETFL) & O_NONBLOCK, 0);
  const termios t = Settings();
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  // PARENB reads back cleared on a pseudo-terminal; the rest of the frame stays.
  EXPECT_EQ(t.c_cflag & (PARODD | CLOCAL | CREAD), static_cast<tcflag_t>(PARODD | CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag & INPCK, static_cast<tcflag_t>(INPCK));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  // A pseudo-terminal has no modem lines; raising them is still a success.
  EXPECT_TRUE(Device().SetDtr(true));
  EXPECT_TRUE(Device().SetRts(true));
  EXPECT_TRUE(Device().SetDtr(false));
}

TEST_F(PtyTest, SecondOpenIsRefusedAsInUse) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  EXPECT_EQ(OpenSerial(path_), -1);
  EXPECT_EQ(LastOpenError(), path_ + " is in use by another program; close it and try again.\n");
  EXPECT_TRUE(CloseSerial(handle_));
  EXPECT_FALSE(CloseSerial(handle_)) << "a handle closes once";
  handle_ = -1;
  EXPECT_GE(Open(path_), 0) << "closing releases the port: " << LastOpenError();
}

TEST_F(PtyTest, BytesBothWays) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  const Bytes to_host = {0x05, 0x16, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13};  // no translation
  MasterWrite(to_host);
  EXPECT_EQ(DeviceRead(to_host.size()), to_host);
  const Bytes from_host = {0x06, 0x15, 0x0D, 0x0A, 0x7F, 0x80, 0x13};
  EXPECT_EQ(Device().WaitWritable(kPatienceMs), WaitResult::kReady);
  EXPECT_EQ(Device().Write(from_host.data(), from_host.size()), 7);
  EXPECT_EQ(Device().WaitDrained(kPatienceMs), WaitResult::kReady);
  EXPECT_EQ(MasterRead(from_host.size()), from_host);
}

TEST_F(PtyTest, ReadWithNothingWaitingIsZeroAndTimesOut) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  uint8_t byte = 0;
  EXPECT_EQ(Device().Read(&byte, 1), 0);
  EXPECT_EQ(Device().InputQueued(), 0);
  EXPECT_EQ(Device().WaitReadable(10), WaitResult::kTimeout);
  EXPECT_FALSE(Device().Gone());
}

TEST_F(PtyTest, PurgeDiscardsWaitingInput) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  MasterWrite({0x01, 0x02, 0x03});
  ASSERT_EQ(Device().WaitReadable(kPatienceMs), WaitResult::kReady);
  Device().Purge(true, true);
  EXPECT_EQ(Device().InputQueued(), 0);
  MasterWrite({0x04});
  EXPECT_EQ(DeviceRead(1), Bytes{0x04});
}

TEST_F(PtyTest, HangUpIsNoticedAtOnceAndIsFinal) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  close(master_);
  master_ = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Device().WaitReadable(20000), WaitResult::kGone);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(Device().Gone());
  uint8_t byte = 0x05;
  EXPECT_EQ(Device().Read(&byte, 1), -1);
  EXPECT_EQ(Device().Write(&byte, 1), -1);
  EXPECT_EQ(Device().InputQueued(), -1);
  EXPECT_EQ(Device().OutputQueued(), -1);
  EXPECT_EQ(Device().WaitWritable(20000), WaitResult::kGone);
  EXPECT_EQ(Device().WaitDrained(20000), WaitResult::kGone);
  EXPECT_FALSE(Device().SetSpeed(9600));
}

TEST_F(PtyTest, ReadNoticesAHangUpWithoutAWait) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  close(master_);
  master_ = -1;
  uint8_t byte = 0;
  EXPECT_EQ(Device().Read(&byte, 1), -1);
  EXPECT_TRUE(Device().Gone());
}

TEST_F(PtyTest, SpeedChangeKeepsTheFrame) {
  ASSERT_GE(Open(path_), 0) << LastOpenError();
  EXPECT_TRUE(Device().SetSpeed(115200));
  termios t = Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_TRUE(Device().SetSpeed(38400));
  EXPECT_FALSE(Device().SetSpeed(12345)) << "termios has no such rate";
  EXPECT_FALSE(Device().SetSpeed(0));
  t = Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400)) << "a refused rate changes nothing";
  EXPECT_TRUE(Device().ApplyLineSettings());
  t = Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
}

TEST_F(PtyTest, ComNameThroughTheUsersLink) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
  std::filesystem::create_directories(dir / "config/vq3upd/ports");
  std::filesystem::create_symlink(path_, dir / "config/vq3upd/ports/COM7");
  ASSERT_GE(Open("com7"), 0) << LastOpenError();
  MasterWrite({0x05});
  EXPECT_EQ(DeviceRead(1), Bytes{0x05});
}

TEST(InProcessLine, OpensByNameBeforeAnyDevice) {
  auto line = std::make_shared<MemoryLine>();
  RegisterInProcessLine("COM3", line);
  const int32_t handle = OpenSerial("com3");
  EXPECT_GE(handle, 0x40000000);
  EXPECT_EQ(FindSerial(handle), line.get());
  EXPECT_EQ(LastOpenError(), "");
  const int32_t second = OpenSerial("COM3");
  EXPECT_NE(second, handle);
  EXPECT_TRUE(CloseSerial(handle));
  EXPECT_TRUE(CloseSerial(second));
  EXPECT_EQ(FindSerial(handle), nullptr);
  EXPECT_EQ(line.use_count(), 2) << "the registry and the test hold it, no open handle";
  UnregisterInProcessLine("COM3");
  EXPECT_EQ(line.use_count(), 1);
}

TEST(InProcessLine, OtherNamesMatchExactly) {
  auto line = std::make_shared<MemoryLine>();
  RegisterInProcessLine("/virtual/Dock", line);
  EXPECT_EQ(OpenSerial("/virtual/dock"), -1);
  const int32_t handle = OpenSerial("/virtual/Dock");
  EXPECT_EQ(FindSerial(handle), line.get());
  CloseSerial(handle);
  UnregisterInProcessLine("/virtual/Dock");
  EXPECT_EQ(OpenSerial("/virtual/Dock"), -1);
}

TEST(SerialHandles, UnknownHandles) {
  EXPECT_EQ(FindSerial(-1), nullptr);
  EXPECT_EQ(FindSerial(0x7FFFFFFF), nullptr);
  EXPECT_FALSE(CloseSerial(-1));
}

}  // namespace
}  // namespace platform
