// The eight steps of a reprogramming run, from speed tuning to the data-bank
// format, as a table of operations and the status text traced before each.
//
// Organizer work area used by the steps:
//   0xA000  8 KB bank window: staged blocks, destination of flash programming
//   0xC000  three unlock byte pairs (step 2)
//   0xE300  routine slot: RemoteTuneRate, then RemoteUnlock, then RemoteProgFlash
//   0xE400  1 KB data buffer for flash programming; RemoteChkSum in step 5
//   0xE800  RemoteSetbank        0xE880  RemoteProg64k
#pragma once

#include <cstdint>

#include "cmdlib/progress.h"

namespace tpx {

struct ReproStep {
  uint8_t (*operation)();
  StatusText text;
};

uint8_t TuneBaudRate();
uint8_t UnlockRemote();
uint8_t SendProgram();
uint8_t SendFirst64KB();
uint8_t ProgramRemoteFlash();
uint8_t VerifyChecksum();
uint8_t ModifyStartup();
uint8_t FormatDatabank();

constexpr ReproStep kReproSteps[8] = {
    {TuneBaudRate, kTextTuneBaudRate},       {UnlockRemote, kTextUnlock},
    {SendProgram, kTextSendingProgram},      {SendFirst64KB, kTextSendingFirst64KB},
    {ProgramRemoteFlash, kTextProgramFlash}, {VerifyChecksum, kTextVerifyChecksum},
    {ModifyStartup, kTextModifyStartup},     {FormatDatabank, kTextFormatDatabank},
};

// The two bytes patched in at `_JREPROG` while the first 64 KB are staged: a
// relative jump to `REPROG`.
struct StartupPatch {
  uint16_t at;
  uint8_t bytes[2];
};
StartupPatch StartupJump();
// What the flash sums to once staged: the image sum with the patch in place
// of the two zero bytes at `_JREPROG`.
uint16_t ExpectedChecksum();

}  // namespace tpx
