// The shipped library over a real pseudo-terminal: COM2 linked to it opens
// with the organizer's line settings, and messages go both ways with a peer
// thread playing the organizer in real time.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "far_end.h"
#include "linklib/linklib_exports.h"

namespace {

namespace fs = std::filesystem;
using linktest::Bytes;
using linktest::Pattern;

uint32_t NowMs() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// Plays a peer on the master side of a pseudo-terminal in its own thread.
class PtyPeer {
 public:
  PtyPeer() {
    termios raw{};
    cfmakeraw(&raw);
    int slave = -1;
    char name[256];
    if (openpty(&master_, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty");
    slave_path_ = name;
    close(slave);  // the host opens it by name
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPeer() {
    Stop();
    close(master_);
  }
  void Start(linktest::Peer& peer) {
    Stop();
    stop_ = false;
    thread_ = std::thread([this, &peer] { Serve(peer); });
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  const std::string& slave_path() const { return slave_path_; }

 private:
  void Serve(linktest::Peer& peer) {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 2);
      Bytes in(4096);
      const ssize_t n = read(master_, in.data(), in.size());
      in.resize(n > 0 ? static_cast<size_t>(n) : 0);
      Bytes out;
      peer.Run(in, NowMs(), out);
      for (size_t done = 0; done < out.size();) {
        const ssize_t w = write(master_, out.data() + done, out.size() - done);
        if (w > 0)
          done += static_cast<size_t>(w);
        else
          poll(nullptr, 0, 1);
      }
    }
  }

  int master_ = -1;
  std::string slave_path_;
  std::thread thread_;
  std::atomic<bool> stop_{true};
};

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = fs::temp_directory_path() / ("vq3-linklib-pty-" + std::to_string(getpid()));
    fs::create_directories(config_ / "vq3upd" / "ports");
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    fs::create_symlink(pty_.slave_path(), config_ / "vq3upd" / "ports" / "COM2");
  }
  void TearDown() override { fs::remove_all(config_); }

  fs::path config_;
  PtyPeer pty_;
};

TEST_F(PtyTest, Com2OpensAt9600With8DataBitsAndOneStopBit) {
  const int32_t port = OpenZepByName("com2");
  ASSERT_NE(port, ZEP_INVALID_PORT) << "status " << GetErrorStatus();
  termios t{};
  ASSERT_EQ(tcgetattr(port, &t), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u) << "raw";
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u) << "no XON/XOFF";
  EXPECT_EQ(OpenZepByName("COM2"), ZEP_INVALID_PORT) << "the port is held exclusively";
  EXPECT_EQ(GetErrorStatus(), 999);
  EXPECT_EQ(ZEPSetSpeed(port, 38400), 1);
  ASSERT_EQ(tcgetattr(port, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  CloseZep(port);
}

TEST_F(PtyTest, FiveThousandBytesGoEachWay) {
  const int32_t port = OpenZepByName("COM2");
  ASSERT_NE(port, ZEP_INVALID_PORT);

  linktest::ReceivingPeer receiver;
  pty_.Start(receiver);
  const Bytes out = Pattern(5000, 1);
  EXPECT_EQ(SendZep(0, port, out.data(), 5000, 20000, 0), 1);
  pty_.Stop();
  EXPECT_EQ(receiver.message, out);
  ASSERT_EQ(receiver.data_frames.size(), 3u);
  EXPECT_EQ(receiver.data_frames[2].block, 0xFFFF);

  const Bytes in = Pattern(5000, 2);
  linktest::SendingPeer sender(linktest::SendingPeer::MessageFrames(in));
  pty_.Start(sender);
  Bytes got(8192);
  int32_t n = 0;
  EXPECT_EQ(ReceiveZep(0, port, got.data(), static_cast<int32_t>(got.size()), &n, 20000, 0), 1);
  pty_.Stop();
  got.resize(static_cast<size_t>(n));
  EXPECT_EQ(got, in);
  EXPECT_EQ(GetErrorStatus(), 0);
  CloseZep(port);
}

}  // namespace
