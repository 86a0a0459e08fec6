#include "platform/trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "temp_dir.h"

namespace platform {
namespace {

using platform_test::ReadFile;
using platform_test::ScopedEnv;
using platform_test::TempDir;

TEST(Trace, AppendsEachTextExactlyAndAtOnce) {
  TempDir dir;
  const std::string file = dir / "trace.log";
  ScopedEnv trace("VQ3_TRACE", file);
  Trace("WSYS RESET sent\n");
  EXPECT_EQ(ReadFile(file), "WSYS RESET sent\n") << "must be in the file when Trace returns";
  Trace("no line feed added");
  Tracef(" %d bytes.\n", 2048);
  EXPECT_EQ(ReadFile(file), "WSYS RESET sent\nno line feed added 2048 bytes.\n");
}

TEST(Trace, KeepsWhatTheFileHeldBefore) {
  TempDir dir;
  const std::string file = dir.Touch("trace.log");
  { std::ofstream(file) << "earlier run\n"; }
  ScopedEnv trace("VQ3_TRACE", file);
  Trace("this run\n");
  EXPECT_EQ(ReadFile(file), "earlier run\nthis run\n");
}

TEST(Trace, VariableIsReadAtEachCall) {
  TempDir dir;
  {
    ScopedEnv trace("VQ3_TRACE", dir / "a.log");
    Trace("to a\n");
  }
  {
    ScopedEnv trace("VQ3_TRACE", dir / "b.log");
    Trace("to b\n");
  }
  EXPECT_EQ(ReadFile(dir / "a.log"), "to a\n");
  EXPECT_EQ(ReadFile(dir / "b.log"), "to b\n");
}

TEST(Trace, WithoutTheVariableNothingIsWritten) {
  TempDir dir;
  ScopedEnv trace("VQ3_TRACE", std::nullopt);
  testing::internal::CaptureStderr();
  Trace("nowhere\n");
  Tracef("%s\n", "nowhere");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Trace, DashMeansStandardError) {
  ScopedEnv trace("VQ3_TRACE", "-");
  testing::internal::CaptureStderr();
  Trace("to stderr\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
}

TEST(Trace, FormattedTextIsCutAt1023Characters) {
  TempDir dir;
  ScopedEnv trace("VQ3_TRACE", dir / "trace.log");
  const std::string long_text(5000, 'x');
  Tracef("%s", long_text.c_str());
  EXPECT_EQ(ReadFile(dir / "trace.log"), std::string(1023, 'x'));
}

TEST(Trace, UnwritableTargetIsIgnored) {
  TempDir dir;
  ScopedEnv trace("VQ3_TRACE", dir / "no-such-folder/trace.log");
  Trace("lost quietly\n");  // must neither crash nor create the folder
  EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

}  // namespace
}  // namespace platform
