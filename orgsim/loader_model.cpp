// The organizer's reprogramming loader: ready queries, reads, writes and
// calls of the routines loaded into its RAM.
#include <algorithm>
#include <string>

#include "orgsim/organizer.h"

namespace orgsim {
namespace {

constexpr uint16_t kRamBankSelectFirst = 0x418;  // RemoteSetbank: 0x418-0x41F pick RAM banks 0-7
constexpr uint32_t kUnlockPairsAt = 0xC000;      // the three byte pairs RemoteProgFlash needs
constexpr uint8_t kUnlockPairs[6] = {0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55};
constexpr uint32_t kTuneClock = 153600;           // RemoteTuneRate: speed = this / argument
constexpr uint16_t kTuneDivisors[] = {4, 8, 16};  // 38400, 19200, 9600
constexpr uint32_t kLongestRoutine = 256;         // bytes a routine image may span

Message StatusMessage(uint8_t status) {
  return Message{status};
}

}  // namespace

Response Organizer::Status(uint8_t status) {
  if (status != kStatusOk) ++summary_.refused_requests;
  return {{StatusMessage(status)}};
}

Response Organizer::OnRequest(std::span<const uint8_t> message) {
  if (pending_write_) return OnWriteData(message);
  const auto request = DecodeReproRequest(message);
  if (!request) return Status(kStatusBadRequest);
  switch (request->op) {
    case kReproOpReady:
      ++summary_.ready_queries;
      if (busy_left_ > 0) {
        --busy_left_;
        return {{StatusMessage(config_.busy_value)}};
      }
      return {{StatusMessage(kStatusOk)}};
    case kReproOpRead:
      return OnRead(*request);
    case kReproOpWrite:
      // The data always follows as the next message, whether or not it fits.
      ++summary_.writes;
      pending_write_ = request;
      return {};
    case kReproOpCall:
      return OnCall(*request);
    default:
      return Status(kStatusBadRequest);
  }
}

Response Organizer::OnWriteData(std::span<const uint8_t> data) {
  const ReproRequest request = *pending_write_;
  pending_write_.reset();
  ++write_count_;
  const Faults& faults = config_.faults;
  if (faults.write_status_at != 0 && write_count_ == faults.write_status_at) {
    summary_.faults_fired.push_back("status " + std::to_string(faults.write_status) +
                                    " for write " + std::to_string(write_count_));
    return Status(faults.write_status);
  }
  if (data.size() != request.param2) return Status(kStatusBadLength);
  return Status(memory_.Write(request.param1, data) ? kStatusOk : kStatusBadAddress);
}

Response Organizer::OnRead(const ReproRequest& r) {
  ++summary_.reads;
  auto bytes = memory_.Read(r.param1, r.param2);
  // A read it cannot do sends no data, only the failure status.
  if (!bytes) return Status(kStatusBadAddress);
  return {{std::move(*bytes), StatusMessage(kStatusOk)}};
}

Response Organizer::OnCall(const ReproRequest& r) {
  ++summary_.calls;
  const uint32_t span = std::min<uint32_t>(kLongestRoutine, kAddressSpace - r.entry);
  const auto bytes = memory_.Read(r.entry, span);
  const auto routine = bytes ? RecognizeRoutine(*bytes) : std::nullopt;
  // A device would run whatever bytes lie there; this one refuses at once,
  // so a host that called the wrong place fails fast instead of hanging.
  if (!routine) {
    summary_.routines_called.push_back("unknown");
    return Status(kStatusNoRoutine);
  }
  summary_.routines_called.push_back(InfoOf(routine->kind).name);
  Response out;
  const uint8_t status = RunRoutine(*routine, r, out);
  if (out.restart) return out;  // the formatter restarts the organizer: no status
  if (status != kStatusOk) ++summary_.refused_requests;
  out.messages.push_back(StatusMessage(status));
  return out;
}

uint8_t Organizer::RunRoutine(const RecognizedRoutine& routine, const ReproRequest& r,
                              Response& out) {
  switch (routine.kind) {
    case RoutineKind::kTuneRate:
      return TuneRate(r.param1, out);
    case RoutineKind::kUnlock:
      unlocked_ = true;
      summary_.unlocked = true;
      return kStatusOk;
    case RoutineKind::kSetbank:
      return Setbank(r.param1);
    case RoutineKind::kProgFlash:
      return ProgFlash(r);
    case RoutineKind::kProg64k:  // flash programming too: same locks as RemoteProgFlash
      if (!FlashWritable()) return kStatusLocked;
      memory_.ProgramRamBanksToFlash();
      summary_.flash_banks_programmed = memory_.banks_erased();
      return kStatusOk;
    case RoutineKind::kChkSum:
      return ChkSum(routine.parameter, r.param1);
    case RoutineKind::kFmtDBank:
      summary_.databank_formatted = true;
      out.restart = true;
      return kStatusOk;
    case RoutineKind::kReprog:
      return kStatusOk;  // the loader's own entry: already running
  }
  return kStatusNoRoutine;
}

uint8_t Organizer::TuneRate(uint16_t divisor, Response& out) {
  if (std::find(std::begin(kTuneDivisors), std::end(kTuneDivisors), divisor) ==
      std::end(kTuneDivisors)) {
    return kStatusBadArgument;
  }
  out.speed_before = kTuneClock / divisor;
  return kStatusOk;
}

uint8_t Organizer::Setbank(uint16_t bank) {
  if (bank >= kRamBankSelectFirst && bank < kRamBankSelectFirst + kRamBanks) {
    memory_.SelectRamBank(bank - kRamBankSelectFirst);
    return kStatusOk;
  }
  // Any other value names a flash bank, so the host could read flash back.
  return memory_.SelectFlashBank(bank) ? kStatusOk : kStatusBadBank;
}

bool Organizer::FlashWritable() const {
  const auto pairs = memory_.Read(kUnlockPairsAt, sizeof kUnlockPairs);
  return unlocked_ && pairs && std::equal(pairs->begin(), pairs->end(), std::begin(kUnlockPairs));
}

// RemoteProgFlash(destination, source, length, bank): a destination in the
// bank window lands in flash bank `bank`; one below it is fixed flash, which
// only bank 0 describes.
uint8_t Organizer::ProgFlash(const ReproRequest& r) {
  if (!FlashWritable()) return kStatusLocked;
  const uint32_t destination = r.param1, length = r.param3, bank = r.param4;
  const auto source = memory_.Read(r.param2, length);
  if (!source) return kStatusBadAddress;
  uint32_t offset = 0;
  if (destination < kWindowStart) {
    if (bank != 0 || destination + length > kWindowStart) return kStatusBadArgument;
    offset = destination;
  } else if (destination < kWorkRamStart) {
    if (destination + length > kWorkRamStart) return kStatusBadArgument;
    if (bank >= memory_.flash_banks()) return kStatusBadBank;
    offset = bank * kBankSize + (destination - kWindowStart);
  } else {
    return kStatusBadArgument;
  }
  if (!memory_.ProgramFlash(offset, *source)) return kStatusBadBank;
  summary_.flash_banks_programmed = memory_.banks_erased();
  return kStatusOk;
}

// RemoteChkSum sums as many bytes of flash as its image says (the image
// length of the ROM it came with; 0 = all of the flash).
uint8_t Organizer::ChkSum(uint32_t length, uint16_t expected) {
  const auto& flash = memory_.flash();
  const size_t count = length == 0 ? flash.size() : std::min<size_t>(length, flash.size());
  uint16_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint16_t>(sum + flash[i]);
  summary_.checksum_expected = expected;
  summary_.checksum_computed = sum;
  summary_.checksum_result = sum == expected ? "pass" : "fail";
  return sum == expected ? kStatusOk : kStatusChecksum;
}

}  // namespace orgsim
