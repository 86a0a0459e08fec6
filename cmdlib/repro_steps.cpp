#include "cmdlib/repro_steps.h"

#include <array>

#include "cmdlib/library_state.h"
#include "cmdlib/repro_files.h"
#include "cmdlib/repro_remote.h"
#include "platform/trace.h"

namespace tpx {
namespace {

// Organizer addresses.
constexpr uint16_t kBankWindow = 0xA000;
constexpr uint16_t kUnlockPairs = 0xC000;  // three pairs at 0xC000, 0xC002, 0xC004
constexpr uint16_t kRoutineSlot = 0xE300;
constexpr uint16_t kDataBuffer = 0xE400;
constexpr uint16_t kSetbankSlot = 0xE800;
constexpr uint16_t kProg64kSlot = 0xE880;

constexpr uint8_t kJumpRelative = 0x18;    // opcode of the start-up jump
constexpr uint16_t kFirstRamBank = 0x418;  // RemoteSetbank's number of staged bank 0
constexpr uint8_t kTuneArg19200 = 8;       // RemoteTuneRate's argument for 19200 bps
constexpr uint8_t kTuneArg38400 = 4;       // ... and for 38400 bps
constexpr uint32_t kBlocksPerBank = kBankSize / kBlockSize;
constexpr uint32_t kStagedBanks = kStagedSize / kBankSize;

const MapSymbol& Symbol(SymbolIndex index) {
  return Engine().symbols[index];
}

uint8_t WriteImage(uint16_t address, SymbolIndex routine) {
  const MapSymbol& symbol = Symbol(routine);
  return WriteRemote(address, symbol.image.data(), static_cast<uint16_t>(symbol.size));
}

void ReportBlock(uint32_t index) {
  platform::Tracef("%04X k\n", index);
  PostProgress(kProgressPosition, static_cast<intptr_t>(index));
}

// Puts the patch bytes that fall inside the block at image offset `offset`.
// Each byte goes where the image has its address, so a `_JREPROG` at a
// kilobyte's last byte carries the displacement into the next staged block,
// which lies right after it in the organizer's memory.
void ApplyPatch(uint8_t* block, uint32_t offset) {
  StartupPatch patch = StartupJump();
  for (uint32_t k = 0; k < 2; ++k) {
    uint32_t at = patch.at + k;
    if (at >= offset && at < offset + kBlockSize) block[at - offset] = patch.bytes[k];
  }
}

}  // namespace

StartupPatch StartupJump() {
  uint16_t j = Low16(Symbol(kJReprog).address);
  uint16_t r = Low16(Symbol(kReprog).address);
  return {j, {kJumpRelative, static_cast<uint8_t>((r - j - 2) & 0xFF)}};
}

uint16_t ExpectedChecksum() {
  // Summed from the bytes really patched in: a backward jump's displacement
  // is one byte, not the 16-bit difference R - J - 2.
  StartupPatch patch = StartupJump();
  return static_cast<uint16_t>(Engine().rom.imageSum + patch.bytes[0] + patch.bytes[1]);
}

uint8_t TuneBaudRate() {
  if (uint8_t c = WriteImage(kRoutineSlot, kRemoteTuneRate)) return c;
  bool slow = Engine().transferBaud == 19200;
  if (!SendRequest({.op = kReproOpCall,
                    .param1 = slow ? kTuneArg19200 : kTuneArg38400,
                    .entry = kRoutineSlot})) {
    return kNoStatus;
  }
  // The organizer answers at the new speed, so switch before its status.
  CommandConnection& c = *Connection();
  c.ZEPSetSpeed(Engine().enginePort, slow ? 19200 : 38400);
  return ReceiveStatus();
}

uint8_t UnlockRemote() {
  if (uint8_t c = WriteImage(kRoutineSlot, kRemoteUnlock)) return c;
  return CallRemote(kRoutineSlot);
}

uint8_t SendProgram() {
  static constexpr uint8_t kPairs[3][2] = {{0x55, 0x55}, {0xAA, 0x2A}, {0x55, 0x55}};
  if (uint8_t c = WriteImage(kRoutineSlot, kRemoteProgFlash)) return c;
  if (uint8_t c = WriteImage(kSetbankSlot, kRemoteSetbank)) return c;
  for (uint16_t i = 0; i < 3; ++i) {
    if (uint8_t c = WriteRemote(static_cast<uint16_t>(kUnlockPairs + 2 * i), kPairs[i], 2)) {
      return c;
    }
  }
  return 0;
}

uint8_t SendFirst64KB() {
  RomBlockReader reader;
  if (!reader.Open(0)) return kNoStatus;
  std::array<uint8_t, kBlockSize> block;
  for (uint32_t i = 0; i < kStagedBanks; ++i) {
    if (uint8_t c = CallRemote(kSetbankSlot, static_cast<uint16_t>(kFirstRamBank + i))) return c;
    for (uint32_t j = 0; j < kBlocksPerBank; ++j) {
      if (!reader.Next(block.data())) return kNoStatus;
      uint32_t index = i * kBlocksPerBank + j;
      ApplyPatch(block.data(), index * kBlockSize);
      uint8_t c = WriteRemote(static_cast<uint16_t>(kBankWindow + j * kBlockSize), block.data(),
                              kBlockSize);
      ReportBlock(index);  // also for a block the organizer refused
      if (c != 0) return c;
    }
  }
  return 0;
}

uint8_t ProgramRemoteFlash() {
  RomBlockReader reader;
  if (!reader.Open(kStagedSize)) return kNoStatus;
  if (uint8_t c = WriteImage(kProg64kSlot, kRemoteProg64k)) return c;
  if (uint8_t c = CallRemote(kProg64kSlot)) return c;
  // Every whole kilobyte past the staged 64 KB is programmed, also those of a
  // last bank shorter than 8 KB: leaving them out would lose the image's tail
  // while its sum still counts it.
  std::array<uint8_t, kBlockSize> block;
  uint32_t blocks = Engine().rom.imageLength / kBlockSize;
  for (uint32_t index = kStagedSize / kBlockSize; index < blocks; ++index) {
    uint16_t bank = static_cast<uint16_t>(index / kBlocksPerBank);
    uint16_t j = static_cast<uint16_t>(index % kBlocksPerBank);
    if (!reader.Next(block.data())) return kNoStatus;
    if (WriteRemote(kDataBuffer, block.data(), kBlockSize) != 0 ||
        CallRemote(kRoutineSlot, static_cast<uint16_t>(kBankWindow + j * kBlockSize), kDataBuffer,
                   kBlockSize, bank) != 0) {
      return kNoStatus;
    }
    ReportBlock(index);
  }
  return 0;
}

uint8_t VerifyChecksum() {
  platform::Tracef("chksum = %X\n", Engine().rom.imageSum);
  if (uint8_t c = WriteImage(kDataBuffer, kRemoteChkSum)) return c;
  return CallRemote(kDataBuffer, ExpectedChecksum());
}

uint8_t ModifyStartup() {
  static constexpr uint8_t kZeros[2] = {0x00, 0x00};
  uint16_t j = StartupJump().at;
  if (uint8_t c = WriteRemote(kDataBuffer, kZeros, 2)) return c;
  CallRemote(kRoutineSlot, j, kDataBuffer, 2, 0);  // judged by the read-back below
  uint8_t back[2] = {0xFF, 0xFF};
  if (uint8_t c = ReadRemote(back, j, 2)) return c;
  return back[0] == 0x00 && back[1] == 0x00 ? 0 : kNoStatus;
}

uint8_t FormatDatabank() {
  // The organizer formats without answering: delivery is success.
  bool sent = SendRequest({.op = kReproOpCall, .entry = Low16(Symbol(kReFmtDBank).address)});
  return sent ? 0 : kNoStatus;
}

}  // namespace tpx
