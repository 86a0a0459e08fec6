// The connection: binding the link library by name, opening and closing the
// port, and the library-wide switches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cmdlib/library_state.h"
#include "tests/cmdlib/recording_link.h"

namespace tpxtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<std::string> kBoundNames = {
    "SendZep",          "ReceiveZep",   "ReceiveZepRapid", "ReceiveZep1Packet", "OpenZep",
    "OpenZepByName",    "CloseZep",     "FlushZep",        "GetErrorStatus",    "SetErrorStatus",
    "ClearErrorStatus", "GetMessageID", "SetMessageID",    "OutputMessage",     "SendZep1Packet",
    "ZEPUserCancel",    "ZEPSetSpeed"};

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFake(); }
  void TearDown() override { ResetFake(); }
};

TEST_F(ConnectionTest, BindsTheSeventeenNamesInOrderAndCallsNothing) {
  EXPECT_EQ(Fake().Init(), 1);
  EXPECT_EQ(Fake().resolved, kBoundNames);
  EXPECT_THAT(Fake().calls, IsEmpty());
  EXPECT_EQ(tpx::Connection()->ownerWindow, kWindow);
  EXPECT_EQ(tpx::Connection()->portHandle, -1);
  EXPECT_EQ(tpx::Connection()->baudRate, 9600u);
  EXPECT_NE(tpx::State().progressMessage, 0u);
}

TEST_F(ConnectionTest, AnyOneMissingNameFailsTheWholeBinding) {
  for (const std::string& name : kBoundNames) {
    ResetFake();
    Fake().missing = {name};
    EXPECT_EQ(Fake().Init(), 0) << "missing " << name;
    // The new connection is current, but nothing half-bound is left in it.
    ASSERT_NE(tpx::Connection(), nullptr);
    EXPECT_FALSE(tpx::Connection()->Bound()) << "missing " << name;
  }
}

TEST_F(ConnectionTest, OpenSetsTheStoredSpeedAndReopenClosesFirst) {
  Fake().Init();
  tpx::Connection()->baudRate = 57600;  // TPXSetSpeed
  EXPECT_EQ(tpx::Connection()->Open("COM1"), 1);
  EXPECT_EQ(tpx::Connection()->Open("COM3"), 1);
  EXPECT_THAT(Fake().calls,
              ElementsAre("OpenZepByName(COM1)", "ZEPSetSpeed(5, 57600)", "CloseZep(5)",
                          "OpenZepByName(COM3)", "ZEPSetSpeed(5, 57600)"));
}

TEST_F(ConnectionTest, FailedOpenLeavesNoPortAndCloseStillCallsCloseZep) {
  Fake().Init();
  Fake().OpenPort();
  Fake().open_result = -1;
  EXPECT_EQ(tpx::Connection()->Open("COM3"), 0);
  EXPECT_FALSE(tpx::Connection()->IsOpen());
  EXPECT_EQ(tpx::Connection()->Close(), 1);
  EXPECT_THAT(Fake().calls, ElementsAre("CloseZep(5)", "OpenZepByName(COM3)", "CloseZep(-1)"));
}

TEST_F(ConnectionTest, DestroyingTheConnectionClosesAnOpenPort) {
  Fake().Init();
  Fake().OpenPort();
  tpx::ResetLibraryState();
  EXPECT_THAT(Fake().calls, ElementsAre("CloseZep(5)"));
}

TEST_F(ConnectionTest, UseWMKeepsOnlyTheLowByte) {
  EXPECT_EQ(tpx::UseWM(0x100), 0);
  EXPECT_EQ(tpx::State().useWindowMessages, 0);
  EXPECT_EQ(tpx::UseWM(0x101), 1);
}

TEST_F(ConnectionTest, UserCancelSetsBothFlags) {
  Fake().Init();
  EXPECT_EQ(tpx::UserCancel(1), 1);
  EXPECT_EQ(tpx::State().userCancel, 1);
  EXPECT_EQ(tpx::UserCancel(0), 0);
  EXPECT_EQ(tpx::State().userCancel, 0);
  EXPECT_THAT(Fake().calls, ElementsAre("ZEPUserCancel(1)", "ZEPUserCancel(0)"));
}

}  // namespace
}  // namespace tpxtest
