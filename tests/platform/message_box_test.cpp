#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

constexpr int kIdCancel = 2;  // a button other than OK, to see the hook's answer pass through

TEST(MessageBox, HookGetsEveryArgumentAndAnswers) {
  WindowId owner = 0;
  std::string text, caption;
  uint32_t style = 0;
  SetMessageBoxHook([&](WindowId o, const std::string& t, const std::string& c, uint32_t s) {
    owner = o, text = t, caption = c, style = s;
    return kIdCancel;
  });
  EXPECT_EQ(ShowMessageBox(7, "Port not found.", "ZEPComm", kMbOk | kMbIconExclamation), kIdCancel);
  SetMessageBoxHook(nullptr);
  EXPECT_EQ(owner, 7u);
  EXPECT_EQ(text, "Port not found.");
  EXPECT_EQ(caption, "ZEPComm");
  EXPECT_EQ(style, 0x30u);
}

TEST(MessageBox, WithoutHostWritesToStderrAndAnswersOk) {
  SetMessageBoxHook(nullptr);
  testing::internal::CaptureStderr();
  const int answer = ShowMessageBox(0, "The update was successfully completed.", "VQ3UPD", kMbOk);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VQ3UPD: The update was successfully completed.\n");
  EXPECT_EQ(answer, kIdOk);
}

TEST(MessageBox, EmptyHookMeansNoHost) {
  SetMessageBoxHook(MessageBoxHook());
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox(0, "text", "caption", kMbOk), kIdOk);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: text\n");
}

}  // namespace
}  // namespace platform
