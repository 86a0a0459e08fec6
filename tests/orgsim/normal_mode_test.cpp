// The organizer's normal link mode without a line: commands and replies.
#include <gtest/gtest.h>

#include "organizer_fixture.h"

namespace orgsim::test {
namespace {

// 57 53 59 53 20 53 45 54 20 42 41 55 44 20 00 cc 00
Bytes SetBaud(uint8_t code) {
  return {0x57, 0x53, 0x59, 0x53, 0x20, 0x53, 0x45, 0x54, 0x20,
          0x42, 0x41, 0x55, 0x44, 0x20, 0x00, code, 0x00};
}

TEST(NormalMode, AnswersTheSystemCommands) {
  struct Case {
    const char* what;
    Bytes message;
    std::vector<Bytes> replies;
    uint32_t speed_after;
    bool loader;
  };
  const Bytes ok = Text("OK", false), ng = Text("NG", false);
  const Case cases[] = {
      {"reset", Text("WSYS RESET"), {ok}, 9600, false},
      {"quit", Text("WSYS QUIT"), {ok}, 9600, false},
      {"set baud 38400", SetBaud(0x08), {ok}, 38400, false},
      {"set baud 115200", SetBaud(0x20), {ok}, 115200, false},
      {"set baud without a code", SetBaud(0x03), {ng}, 0, false},
      {"unknown command", Text("WSYS FROB"), {ng}, 0, false},
      {"empty message", Bytes{}, {ng}, 0, false},
      {"command without its zero", Text("WSYS RESET", false), {ok}, 9600, false},
      {"longer text is another command", Text("WSYS RESETX"), {ng}, 0, false},
      {"bytes after the zero do not count",
       Bytes{'W', 'S', 'Y', 'S', ' ', 'Q', 'U', 'I', 'T', 0, 'z'},
       {ok},
       9600,
       false},
      {"patch send: into the loader, no reply", Text("WSYS PATCH SEND"), {}, 0, true},
  };
  for (const Case& c : cases) {
    OrganizerDriver d{Config{}};
    const Response r = d.organizer.OnMessage(c.message);
    EXPECT_EQ(r.messages, c.replies) << c.what;
    EXPECT_EQ(r.speed_after, c.speed_after) << c.what;
    EXPECT_EQ(d.organizer.in_loader(), c.loader) << c.what;
  }
}

TEST(NormalMode, DeviceBlockIsModelSystemLinesAndMoreEachEndedByCrLf) {
  Config c;
  c.model_name = "TQ-150M";
  c.system_line1 = "S1";
  c.system_line2 = "S2";
  c.extra_lines = {"X", std::string(3000, 'y')};
  OrganizerDriver d{c};
  const Response r = d.organizer.OnMessage(Text("WSYS RECEIVE QIM_ALL S1:"));
  ASSERT_EQ(r.messages.size(), 1u);
  const std::string expected = "TQ-150M\r\nS1\r\nS2\r\nX\r\n" + std::string(3000, 'y') + "\r\n";
  EXPECT_EQ(std::string(r.messages[0].begin(), r.messages[0].end()), expected);
}

TEST(NormalMode, OpeningMessageGoesOutAtPowerOnSpeedEachTimeTheHostOpens) {
  OrganizerDriver d{Config{}};
  d.organizer.SetSpeed(38400);
  const auto opening = d.organizer.OnHostOpen();
  ASSERT_TRUE(opening);
  EXPECT_EQ(*opening, Text("WSYS LINK"));
  EXPECT_EQ(d.organizer.speed(), 9600u);
  // The loader does not see the port open: no opening message, speed kept.
  Config loader;
  loader.start_in_loader = true;
  OrganizerDriver l{loader};
  l.organizer.SetSpeed(38400);
  EXPECT_FALSE(l.organizer.OnHostOpen());
  EXPECT_EQ(l.organizer.speed(), 38400u);
}

}  // namespace
}  // namespace orgsim::test
