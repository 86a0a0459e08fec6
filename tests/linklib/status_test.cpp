// Error status, message id, cancel flag, format text and the message box.
#include <gtest/gtest.h>

#include <string>

#include "link_fixture.h"
#include "linklib/linklib_exports.h"
#include "linklib/port_io.h"
#include "platform/message_box.h"

namespace {

struct Box {
  uint32_t owner;
  std::string text;
  std::string caption;
  uint32_t style;
};

class StatusTest : public linktest::LinkFixture {
 protected:
  void SetUp() override {
    LinkFixture::SetUp();
    platform::SetMessageBoxHook([this](platform::WindowId owner, const std::string& text,
                                       const std::string& caption, uint32_t style) {
      boxes_.push_back({owner, text, caption, style});
      return platform::kIdOk;
    });
  }
  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    LinkFixture::TearDown();
  }
  std::vector<Box> boxes_;
};

TEST_F(StatusTest, OutputMessageRules) {
  struct Case {
    const char* name;
    int32_t message_id;
    int32_t status;
    const char* shown;  // nullptr: no box
    int32_t result;
  };
  const Case cases[] = {
      {"chosen message wins over any status", 61253, 5,
       "Could not connect to the organizer.\nPlease check all connections and be sure you have "
       "selected the proper serial port.",
       platform::kIdOk},
      {"placeholder shown as stored", 61239, 0, "%s is not available !", platform::kIdOk},
      {"unknown id shows an empty text", 12345, 0, "", platform::kIdOk},
      {"positive status", 0, 5, "Comm port error", platform::kIdOk},
      {"clean state", 0, 0, nullptr, 0},
      {"failed open is the caller's to report", 0, 999, nullptr, 999},
      {"cancel is the caller's to report", 0, -1, nullptr, -1},
      {"negative status", 0, -7, nullptr, -7},
  };
  for (const auto& c : cases) {
    boxes_.clear();
    SetErrorStatus(c.status);
    SetMessageID(c.message_id);
    EXPECT_EQ(OutputMessage(77), c.result) << c.name;
    if (!c.shown) {
      EXPECT_TRUE(boxes_.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(boxes_.size(), 1u) << c.name;
    EXPECT_EQ(boxes_[0].text, c.shown) << c.name;
    EXPECT_EQ(boxes_[0].caption, "") << c.name;
    EXPECT_EQ(boxes_[0].style, 0x30u) << c.name;
    EXPECT_EQ(boxes_[0].owner, 77u) << c.name;
    EXPECT_EQ(GetErrorStatus(), c.status) << c.name << ": shown state is kept";
    EXPECT_EQ(GetMessageID(), c.message_id) << c.name;
  }
}

TEST_F(StatusTest, ClearErrorStatusClearsStatusAndMessageButNotTheCancelFlag) {
  SetErrorStatus(5);
  SetMessageID(61214);
  ZEPUserCancel(1);
  ClearErrorStatus();
  EXPECT_EQ(GetErrorStatus(), 0);
  EXPECT_EQ(GetMessageID(), 0);
  EXPECT_EQ(OutputMessage(0), 0);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(zep::State().cancel_flag, 1);
  ZEPUserCancel(0);
}

TEST_F(StatusTest, CancelFlagKeepsTheLowEightBits) {
  struct Case {
    int32_t flag;
    int32_t kept;
  };
  for (const Case c : {Case{1, 1}, Case{0x100, 0}, Case{0x1FF, 0xFF}, Case{0, 0}}) {
    EXPECT_EQ(ZEPUserCancel(c.flag), c.kept) << c.flag;
    EXPECT_EQ(zep::State().cancel_flag, c.kept) << c.flag;
  }
}

TEST_F(StatusTest, FormatStringTakesAtMost255Characters) {
  EXPECT_EQ(zep::State().format_text, "%d bytes.");
  const std::string longest(255, 'x');
  SetFormatString(longest.c_str());
  EXPECT_EQ(zep::State().format_text, longest);
  SetFormatString(std::string(256, 'y').c_str());
  EXPECT_EQ(zep::State().format_text, longest) << "256 characters are ignored";
}

TEST_F(StatusTest, OpeningResetsStatusAndMessage) {
  CloseZep(port_);
  SetErrorStatus(-1);
  SetMessageID(61253);
  port_ = OpenZep(42);  // COM42, the fixture's line
  ASSERT_NE(port_, ZEP_INVALID_PORT);
  EXPECT_EQ(GetErrorStatus(), 0);
  EXPECT_EQ(GetMessageID(), 0);
  EXPECT_EQ(line_->speed(), 9600u);
  EXPECT_TRUE(line_->line_settings_applied());
  EXPECT_TRUE(line_->dtr());
  EXPECT_TRUE(line_->rts());
}

TEST_F(StatusTest, FailedOpenLeaves999AndNoMessage) {
  SetMessageID(61253);
  EXPECT_EQ(OpenZepByName("COM255"), ZEP_INVALID_PORT);  // nothing is linked as COM255 here
  EXPECT_EQ(GetErrorStatus(), 999);
  EXPECT_EQ(GetMessageID(), 0);
  EXPECT_EQ(OutputMessage(0), 999);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(OpenZepByName("/nonexistent/tty"), ZEP_INVALID_PORT);
}

TEST_F(StatusTest, CloseReportsTheOpenEventOnce) {
  EXPECT_EQ(CloseZep(ZEP_INVALID_PORT), 1) << "the event is closed even without a port";
  EXPECT_EQ(CloseZep(ZEP_INVALID_PORT), 0);
  port_ = OpenZepByName(kPortName);
  EXPECT_EQ(CloseZep(port_), 1);
  EXPECT_FALSE(line_->dtr()) << "DTR dropped on close";
  port_ = OpenZepByName(kPortName);
}

TEST_F(StatusTest, SpeedChangeAndFlushWithTheInvalidHandle) {
  EXPECT_EQ(ZEPSetSpeed(port_, 115200), 1);
  EXPECT_EQ(line_->speed(), 115200u);
  EXPECT_EQ(ZEPSetSpeed(ZEP_INVALID_PORT, 9600), 0);

  line_->SendToHost({0, 0x96, 0x82, 0x05, 0xAB});
  zep::CCommPort port(port_, 0);
  ASSERT_EQ(zep::ReadAvailable(port), 5);
  zep::NextByte();
  FlushZep(ZEP_INVALID_PORT);
  EXPECT_EQ(zep::ReadAvailable(port), 4) << "the invalid handle changes nothing";
  FlushZep(port_);
  EXPECT_EQ(zep::ReadAvailable(port), 0);
}

}  // namespace
