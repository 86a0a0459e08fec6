// The loader model without a line: memory, bank window, NOR flash, routines.
#include <gtest/gtest.h>

#include <algorithm>

#include "organizer_fixture.h"
#include "orgsim/system_record.h"

namespace orgsim::test {
namespace {

constexpr uint32_t kBank = 0x2000;

class LoaderTest : public ::testing::Test {
 protected:
  static Config LoaderConfig() {
    Config c;
    c.start_in_loader = true;
    c.flash_banks = 16;
    return c;
  }
  OrganizerDriver d{LoaderConfig()};
  const std::vector<uint8_t>& flash() { return d.organizer.memory().flash(); }
};

TEST_F(LoaderTest, WorkRamTakesWritesAndReadsThemBack) {
  EXPECT_EQ(d.Write(0xE400, {0x01, 0x02, 0x03}), kStatusOk);
  const auto [data, status] = d.Read(0xE400, 3);
  EXPECT_EQ(status, kStatusOk);
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, (Bytes{0x01, 0x02, 0x03}));
  // The top byte of the address space is writable; one past it is not.
  EXPECT_EQ(d.Write(0xFFFF, {0x7E}), kStatusOk);
  EXPECT_EQ(d.Write(0xFFFF, {0x7E, 0x7F}), kStatusBadAddress);
}

TEST_F(LoaderTest, RefusesWhatADeviceCannotDo) {
  struct Case {
    const char* what;
    Bytes request;
    Bytes data;  // the write's data message, when the request is a write
    uint8_t status;
  };
  const Case cases[] = {
      {"write into fixed flash", Request(kReproOpWrite, 0x1000, 2), {1, 2}, kStatusBadAddress},
      {"write into the window on flash",
       Request(kReproOpWrite, 0xA000, 2),
       {1, 2},
       kStatusBadAddress},
      {"write across the top", Request(kReproOpWrite, 0xFFFE, 4), {1, 2, 3, 4}, kStatusBadAddress},
      {"data shorter than announced", Request(kReproOpWrite, 0xE000, 4), {1, 2}, kStatusBadLength},
      {"request of 11 bytes", Bytes(11, 0x04), {}, kStatusBadRequest},
      {"unknown operation", Request(9), {}, kStatusBadRequest},
  };
  for (const Case& c : cases) {
    Response r = d.organizer.OnMessage(c.request);
    if (c.request.size() == 12 && c.request[0] == kReproOpWrite) {
      EXPECT_TRUE(r.messages.empty()) << c.what;
      r = d.organizer.OnMessage(c.data);
    }
    EXPECT_EQ(OrganizerDriver::StatusOf(r), c.status) << c.what;
  }
  // A read it cannot do answers with the status alone.
  const auto [data, status] = d.Read(0xFFF0, 0x20);
  EXPECT_FALSE(data);
  EXPECT_EQ(status, kStatusBadAddress);
}

TEST_F(LoaderTest, BankWindowShowsTheBankSelected) {
  // At power-on the window shows flash bank 5, continuing the fixed flash.
  EXPECT_EQ(d.Read(0xA000, 1).first, Bytes{flash()[5 * kBank]});
  ASSERT_EQ(d.Load(RoutineKind::kSetbank, 0xE800), kStatusOk);
  ASSERT_EQ(d.Call(0xE800, 0x418 + 3), kStatusOk);
  ASSERT_EQ(d.Write(0xA000, {0xAB}), kStatusOk);
  ASSERT_EQ(d.Write(0xBFFF, {0xCD}), kStatusOk);
  ASSERT_EQ(d.Call(0xE800, 0x418 + 4), kStatusOk);
  EXPECT_EQ(d.Read(0xA000, 1).first, Bytes{0x00});
  ASSERT_EQ(d.Call(0xE800, 0x418 + 3), kStatusOk);
  EXPECT_EQ(d.Read(0xA000, 1).first, Bytes{0xAB});
  EXPECT_EQ(d.Read(0xBFFF, 1).first, Bytes{0xCD});
  // A flash bank number shows that bank of flash, read only.
  ASSERT_EQ(d.Call(0xE800, 9), kStatusOk);
  EXPECT_EQ(d.Read(0xA010, 1).first, Bytes{flash()[9 * kBank + 0x10]});
  EXPECT_EQ(d.Write(0xA000, {0x00}), kStatusBadAddress);
  // Fixed flash below the window is flash bank 0 onwards.
  EXPECT_EQ(d.Read(0x1234, 1).first, Bytes{flash()[0x1234]});
  EXPECT_EQ(d.Call(0xE800, 16), kStatusBadBank);     // 16 banks: 0-15
  EXPECT_EQ(d.Call(0xE800, 0x420), kStatusBadBank);  // RAM banks are 0x418-0x41F
}

TEST_F(LoaderTest, FlashProgrammingIsRefusedUntilUnlockedAndThePairsWritten) {
  const std::vector<uint8_t> before = flash();
  ASSERT_EQ(d.Load(RoutineKind::kProgFlash, 0xE300), kStatusOk);
  ASSERT_EQ(d.Write(0xE400, Bytes(16, 0x00)), kStatusOk);
  EXPECT_EQ(d.Call(0xE300, 0xA000, 0xE400, 16, 9), kStatusLocked) << "not unlocked";
  ASSERT_EQ(d.Load(RoutineKind::kUnlock, 0xE800), kStatusOk);
  ASSERT_EQ(d.Call(0xE800), kStatusOk);
  EXPECT_EQ(d.Call(0xE300, 0xA000, 0xE400, 16, 9), kStatusLocked) << "no pairs";
  ASSERT_EQ(d.Write(0xC000, {0x55, 0x55, 0xAA, 0x2A, 0x55, 0x54}), kStatusOk);
  EXPECT_EQ(d.Call(0xE300, 0xA000, 0xE400, 16, 9), kStatusLocked) << "last pair wrong";
  ASSERT_EQ(d.Load(RoutineKind::kProg64k, 0xE880), kStatusOk);
  EXPECT_EQ(d.Call(0xE880), kStatusLocked) << "64 KB programming is flash programming too";
  EXPECT_EQ(flash(), before);
  ASSERT_EQ(d.Write(0xC004, {0x55, 0x55}), kStatusOk);
  EXPECT_EQ(d.Call(0xE300, 0xA000, 0xE400, 16, 9), kStatusOk);
}

TEST_F(LoaderTest, FlashIsNorErasedOnceARunAndProgrammingClearsBits) {
  d.MakeFlashWritable();
  ASSERT_NE(flash()[9 * kBank + 0x500], 0xFF) << "the old system is not erased flash";
  ASSERT_EQ(d.Write(0xE400, {0xF0, 0x3C}), kStatusOk);
  ASSERT_EQ(d.Call(0xE300, 0xA400, 0xE400, 2, 9), kStatusOk);
  EXPECT_EQ(flash()[9 * kBank + 0x400], 0xF0);
  EXPECT_EQ(flash()[9 * kBank + 0x401], 0x3C);
  EXPECT_EQ(flash()[9 * kBank + 0x500], 0xFF) << "the first programming erased the bank";
  EXPECT_NE(flash()[10 * kBank], 0xFF) << "only that bank";
  // Programming again clears bits only: F0 & 0F = 00, and nothing is erased.
  ASSERT_EQ(d.Write(0xE400, {0x0F, 0xFF}), kStatusOk);
  ASSERT_EQ(d.Call(0xE300, 0xA400, 0xE400, 2, 9), kStatusOk);
  EXPECT_EQ(flash()[9 * kBank + 0x400], 0x00);
  EXPECT_EQ(flash()[9 * kBank + 0x401], 0x3C);
  // Below the window the destination is fixed flash, described by bank 0.
  ASSERT_EQ(d.Write(0xE400, {0x00, 0x00}), kStatusOk);
  EXPECT_EQ(d.Call(0xE300, 0x1234, 0xE400, 2, 0), kStatusOk);
  EXPECT_EQ(d.Read(0x1234, 2).first, (Bytes{0x00, 0x00}));
  EXPECT_EQ(d.Call(0xE300, 0x1234, 0xE400, 2, 3), kStatusBadArgument);
  EXPECT_EQ(d.Call(0xE300, 0xA000, 0xE400, 2, 16), kStatusBadBank);
  EXPECT_EQ(d.Call(0xE300, 0xBFFF, 0xE400, 2, 9), kStatusBadArgument) << "past the window";
}

TEST_F(LoaderTest, Prog64kCopiesTheRamBanksIntoFlashBanks0To7) {
  d.MakeFlashWritable();
  const std::vector<uint8_t> before = flash();
  for (uint16_t bank = 0; bank < 8; ++bank) {
    ASSERT_EQ(d.Call(0xE800, 0x418 + bank), kStatusOk);
    ASSERT_EQ(d.Write(0xA000 + 0x1000, Bytes(1024, static_cast<uint8_t>(0x10 + bank))), kStatusOk);
  }
  ASSERT_EQ(d.Load(RoutineKind::kProg64k, 0xE880), kStatusOk);
  ASSERT_EQ(d.Call(0xE880), kStatusOk);
  for (uint32_t bank = 0; bank < 8; ++bank) {
    EXPECT_EQ(flash()[bank * kBank + 0x1000], 0x10 + bank);
    EXPECT_EQ(flash()[bank * kBank], 0x00) << "RAM that was never written is zero";
  }
  EXPECT_TRUE(std::equal(flash().begin() + 8 * kBank, flash().end(), before.begin() + 8 * kBank))
      << "banks 8 on untouched";
  EXPECT_EQ(d.organizer.summary().flash_banks_programmed, 8u);
}

TEST_F(LoaderTest, ChecksumComparesTheFlashSumWithItsArgument) {
  uint16_t sum = 0;
  for (size_t i = 0; i < 3 * kBank; ++i) sum = static_cast<uint16_t>(sum + flash()[i]);
  ASSERT_EQ(d.Load(RoutineKind::kChkSum, 0xE400, 3 * kBank), kStatusOk);
  EXPECT_EQ(d.Call(0xE400, sum), kStatusOk);
  EXPECT_EQ(d.organizer.summary().checksum_result, "pass");
  EXPECT_EQ(d.Call(0xE400, static_cast<uint16_t>(sum + 1)), kStatusChecksum);
  EXPECT_EQ(d.organizer.summary().checksum_result, "fail");
  EXPECT_EQ(d.organizer.summary().checksum_computed, sum);
}

TEST_F(LoaderTest, ACallRunsOnlyWhatWasLoadedAtItsEntry) {
  EXPECT_EQ(d.Call(0xE300), kStatusNoRoutine) << "nothing loaded";
  ASSERT_EQ(d.Load(RoutineKind::kUnlock, 0xE400), kStatusOk);
  EXPECT_EQ(d.Call(0xE300), kStatusNoRoutine) << "loaded elsewhere";
  Bytes damaged = RoutineImage(RoutineKind::kUnlock);
  damaged[40] ^= 0x01;
  ASSERT_EQ(d.Write(0xE300, damaged), kStatusOk);
  EXPECT_EQ(d.Call(0xE300), kStatusNoRoutine) << "one bit off";
  Bytes scrambled = RoutineImage(RoutineKind::kUnlock);
  for (uint8_t& b : scrambled) b = static_cast<uint8_t>(((b << 3) | (b >> 5)) ^ 0x5A);
  ASSERT_EQ(d.Write(0xE300, scrambled), kStatusOk);
  EXPECT_EQ(d.Call(0xE300), kStatusNoRoutine) << "still scrambled";
  EXPECT_FALSE(d.organizer.summary().unlocked);
  EXPECT_EQ(d.Call(0xE400), kStatusOk);
  EXPECT_TRUE(d.organizer.summary().unlocked);
  EXPECT_EQ(d.organizer.summary().routines_called.back(), "RemoteUnlock");
}

TEST_F(LoaderTest, FlashSizeIsKeptBetween8And512Banks) {
  for (auto [asked, got] : {std::pair{0u, 8u}, {7u, 8u}, {9u, 9u}, {512u, 512u}, {513u, 512u}}) {
    Config c = LoaderConfig();
    c.flash_banks = asked;
    OrganizerDriver sized(c);
    EXPECT_EQ(sized.organizer.memory().flash().size(), got * kBank) << asked;
  }
}

TEST_F(LoaderTest, CallingTheLoadersOwnEntryIsHarmless) {
  Config c = LoaderConfig();
  c.initial_flash.assign(0x300, 0xFF);
  const Bytes reprog = RoutineImage(RoutineKind::kReprog);
  std::copy(reprog.begin(), reprog.end(), c.initial_flash.begin() + 0x240);
  OrganizerDriver with_loader(c);
  EXPECT_EQ(with_loader.Call(0x0240), kStatusOk);
  EXPECT_EQ(with_loader.organizer.summary().routines_called, std::vector<std::string>{"REPROG"});
}

TEST_F(LoaderTest, TuneRateAnswersAtTheNewSpeed) {
  ASSERT_EQ(d.Load(RoutineKind::kTuneRate, 0xE300), kStatusOk);
  struct Case {
    uint16_t argument;
    uint32_t speed;  // 0: refused, no switch
  };
  for (const Case c : {Case{4, 38400}, Case{8, 19200}, Case{16, 9600}, Case{3, 0}, Case{0, 0}}) {
    const Response r = d.CallRaw(0xE300, c.argument);
    EXPECT_EQ(r.speed_before, c.speed) << c.argument;
    EXPECT_EQ(OrganizerDriver::StatusOf(r), c.speed ? kStatusOk : kStatusBadArgument);
  }
}

TEST_F(LoaderTest, ReadyQueriesAreBusyAsConfiguredThenReady) {
  Config c = LoaderConfig();
  c.busy_replies = 3;
  c.busy_value = 0x42;
  OrganizerDriver busy(c);
  Bytes replies;
  for (int i = 0; i < 5; ++i) {
    replies.push_back(OrganizerDriver::StatusOf(busy.organizer.OnMessage(Request(kReproOpReady))));
  }
  EXPECT_EQ(replies, (Bytes{0x42, 0x42, 0x42, 0x00, 0x00}));
}

TEST_F(LoaderTest, NthWriteIsRefusedWithTheStatusAsked) {
  Config c = LoaderConfig();
  c.faults.write_status_at = 2;
  c.faults.write_status = 0x33;
  OrganizerDriver faulty(c);
  EXPECT_EQ(faulty.Write(0xE000, {0x11}), kStatusOk);
  EXPECT_EQ(faulty.Write(0xE001, {0x22}), 0x33);
  EXPECT_EQ(faulty.Write(0xE002, {0x33}), kStatusOk);
  EXPECT_EQ(faulty.Read(0xE000, 3).first, (Bytes{0x11, 0x00, 0x33})) << "refused write not done";
  ASSERT_EQ(faulty.organizer.summary().faults_fired.size(), 1u);
}

TEST_F(LoaderTest, FormatRestartsWithoutStatusReportingTheNewSystem) {
  d.MakeFlashWritable();
  // The formatter and a system record in bank 0, as an update leaves them.
  Bytes record;
  ASSERT_TRUE(EncodeSystemRecord("SYSTEM V9.99", "2001/02/03", &record));
  ASSERT_EQ(d.Call(0xE800, 0x418), kStatusOk);
  ASSERT_EQ(d.Write(0xA000 + kSystemRecordOffset, record), kStatusOk);
  ASSERT_EQ(d.Write(0xA000 + 0x0600, RoutineImage(RoutineKind::kFmtDBank)), kStatusOk);
  ASSERT_EQ(d.Load(RoutineKind::kProg64k, 0xE880), kStatusOk);
  ASSERT_EQ(d.Call(0xE880), kStatusOk);
  const Response r = d.CallRaw(0x0600);
  EXPECT_TRUE(r.messages.empty()) << "no status after the format";
  EXPECT_TRUE(r.restart);
  EXPECT_TRUE(d.organizer.summary().databank_formatted);
  d.organizer.Restart();
  EXPECT_FALSE(d.organizer.in_loader());
  EXPECT_EQ(d.organizer.speed(), 9600u);
  const Response block = d.organizer.OnMessage(Text("WSYS RECEIVE QIM_ALL S1:"));
  ASSERT_EQ(block.messages.size(), 1u);
  const std::string text(block.messages[0].begin(), block.messages[0].end());
  EXPECT_EQ(text.rfind("TR-150\r\nSYSTEM V9.99\r\n2001/02/03\r\n", 0), 0u) << text;
}

TEST_F(LoaderTest, RestartWithoutASystemRecordKeepsTheOldLines) {
  d.organizer.Restart();
  EXPECT_EQ(d.organizer.summary().system_line1, "SYSTEM V1.00");
  EXPECT_EQ(d.organizer.summary().system_line2, "1999/04/01");
}

}  // namespace
}  // namespace orgsim::test
