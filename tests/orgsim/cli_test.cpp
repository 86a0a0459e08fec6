// The `orgsim` program as people run it: it prints the slave's path, links
// the port name, serves a host, and on Ctrl-C prints what it saw.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "linklib/linklib_exports.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
  return fs::read_symlink("/proc/self/exe").parent_path();
}

// Runs the program with its output into a pipe; returns the pid.
pid_t Spawn(const std::vector<std::string>& args, int* out) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<char*> argv;
  const std::string program = (ProgramFolder() / "orgsim").string();
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  *out = pipe_fds[0];
  return pid;
}

std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

std::string ReadAll(int fd) {
  std::string all;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) all.append(buffer, static_cast<size_t>(n));
  return all;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() /
            ("orgsim-cli-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(home_);
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(home_); }
  fs::path home_;
};

TEST_F(CliTest, ServesAHostUntilInterruptedThenPrintsItsSummary) {
  int out = -1;
  const pid_t pid = Spawn({"--link", "COM4", "--flash", (home_ / "flash.bin").string()}, &out);
  ASSERT_GT(pid, 0);
  const std::string slave = ReadLine(out);
  EXPECT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
  EXPECT_EQ(fs::read_symlink(home_ / "vq3upd/ports/COM4"), slave);
  const int32_t port = OpenZepByName("COM4");
  ASSERT_NE(port, ZEP_INVALID_PORT);
  char opening[128];
  int32_t length = 0;
  EXPECT_NE(ReceiveZepRapid(0, port, opening, sizeof opening, &length, 10000, 0), 0);
  EXPECT_EQ(std::string(opening, static_cast<size_t>(length)), std::string("WSYS LINK", 10));
  CloseZep(port);
  kill(pid, SIGINT);
  const std::string summary = ReadAll(out);
  close(out);
  EXPECT_EQ(Wait(pid), 0);
  EXPECT_NE(summary.find("\"opening_messages\": 1"), std::string::npos) << summary;
  EXPECT_EQ(fs::file_size(home_ / "flash.bin"), 64u * 8192);
  EXPECT_FALSE(fs::exists(fs::symlink_status(home_ / "vq3upd/ports/COM4"))) << "link removed";
}

TEST_F(CliTest, WritesAKitAndRefusesBadArguments) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* says;  // in its output
  };
  const std::string dir = (home_ / "kit").string();
  const Case cases[] = {
      {{"kit", "--out", dir, "--kb", "136", "--scrambled"}, 0, "VQ3UPD.ini"},
      {{"kit", "--out", dir, "--kb", "100"}, 2, "100 KB"},
      {{"kit", "--kb", "64"}, 2, "--out DIR"},
      {{"--banks", "7"}, 2, "--banks"},
      {{"--write-status", "3"}, 2, "N:K"},
      {{"--frobnicate"}, 2, "--frobnicate"},
  };
  for (const Case& c : cases) {
    int out = -1;
    const pid_t pid = Spawn(c.args, &out);
    ASSERT_GT(pid, 0);
    const std::string text = ReadAll(out);
    close(out);
    EXPECT_EQ(Wait(pid), c.exit_code) << c.args.back();
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
  }
  EXPECT_EQ(fs::file_size(dir + "/VQ3SAMPLE.ROM"), 136u * 1024 + 2);
}

}  // namespace
