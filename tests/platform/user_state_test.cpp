#include "platform/user_state.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace platform {
namespace {

using platform_test::ReadFile;
using platform_test::ScopedEnv;
using platform_test::TempDir;

class UserStateTest : public ::testing::Test {
 protected:
  UserStateTest() : state_("XDG_STATE_HOME", dir_ / "state/home") {}

  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "state/home/vq3upd")) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TempDir dir_;
  ScopedEnv state_;
};

TEST_F(UserStateTest, WriteReadReplaceRemove) {
  EXPECT_EQ(StateDirectory(), dir_ / "state/home/vq3upd");
  std::string error;
  ASSERT_TRUE(WriteStateFile("PrevPort", "COM2", &error)) << error;
  EXPECT_EQ(ReadStateFile("PrevPort"), "COM2");
  ASSERT_TRUE(WriteStateFile("PrevPort", "/dev/ttyUSB0", &error)) << error;
  EXPECT_EQ(ReadStateFile("PrevPort"), "/dev/ttyUSB0");
  EXPECT_EQ(Listing(), std::vector<std::string>{"PrevPort"}) << "no temporary file left";
  EXPECT_TRUE(RemoveStateFile("PrevPort"));
  EXPECT_EQ(ReadStateFile("PrevPort"), std::nullopt);
  EXPECT_TRUE(RemoveStateFile("PrevPort")) << "already gone counts as removed";
}

TEST_F(UserStateTest, FoldersAreCreatedPrivate) {
  ASSERT_TRUE(WriteStateFile("PrevPort", "COM1"));
  struct stat st {};
  ASSERT_EQ(stat((dir_ / "state/home/vq3upd").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((dir_ / "state/home/vq3upd/PrevPort").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST_F(UserStateTest, ContentIsKeptByteForByte) {
  const std::string content("line\r\n\0\xff end", 12);
  ASSERT_TRUE(WriteStateFile("blob", content));
  EXPECT_EQ(ReadStateFile("blob"), content);
  ASSERT_TRUE(WriteStateFile("empty", ""));
  EXPECT_EQ(ReadStateFile("empty"), "");
}

TEST_F(UserStateTest, OnlyPlainNamesAreAccepted) {
  for (const char* name : {"", "a/b", "../PrevPort", "/etc/passwd", ".hidden", ".", ".."}) {
    std::string error;
    EXPECT_FALSE(WriteStateFile(name, "x", &error)) << name;
    EXPECT_NE(error.find(std::string("\"") + name + "\""), std::string::npos) << error;
    EXPECT_EQ(ReadStateFile(name), std::nullopt) << name;
    EXPECT_FALSE(RemoveStateFile(name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "state/b"));
}

TEST_F(UserStateTest, UnwritableFolderIsReportedAndLeavesTheOldContent) {
  ASSERT_TRUE(WriteStateFile("PrevPort", "COM2"));
  // A file where the folder should be: no write can succeed.
  ScopedEnv blocked("XDG_STATE_HOME", dir_.Touch("blocker"));
  std::string error;
  EXPECT_FALSE(WriteStateFile("PrevPort", "COM5", &error));
  EXPECT_NE(error.find(dir_ / "blocker"), std::string::npos) << error;
}

TEST_F(UserStateTest, DefaultsToLocalStateInHome) {
  ScopedEnv home("HOME", dir_ / "home");
  for (std::optional<std::string> value :
       {std::optional<std::string>(""), std::optional<std::string>()}) {
    ScopedEnv state("XDG_STATE_HOME", value);
    EXPECT_EQ(StateDirectory(), dir_ / "home/.local/state/vq3upd");
  }
  ScopedEnv state("XDG_STATE_HOME", std::nullopt);
  ASSERT_TRUE(WriteStateFile("PrevPort", "COM4"));
  EXPECT_EQ(ReadFile(dir_ / "home/.local/state/vq3upd/PrevPort"), "COM4");
}

}  // namespace
}  // namespace platform
