#include "cmdlib/repro_engine.h"

#include "cmdlib/library_state.h"
#include "cmdlib/progress.h"
#include "cmdlib/repro_files.h"
#include "cmdlib/repro_remote.h"
#include "cmdlib/repro_steps.h"
#include "cmdlib/system_commands.h"
#include "platform/trace.h"

namespace tpx {
namespace {

constexpr uint8_t kLoaderReady = 0x00;  // reply to the ready query

bool Cancelled() {
  return State().userCancel != 0;
}

}  // namespace

// The loader answers "busy" while it gets ready, a matter of a few queries.
// One that stays busy for two minutes is stuck; the run then gives up before
// anything was changed, as the progress window may offer no way to cancel.
// A cancel request ends the loop at its next reply as well.
bool WaitForRemote() {
  uint8_t tries = 0;  // the trace counts in 8 bits, as the loader's log did
  platform::Tracef("%04X = try\n", tries);
  if (Cancelled()) return false;
  platform::Tick give_up = platform::TickCount() + kReadyWaitLimitMs;
  for (;;) {
    uint8_t reply = 0;
    if (!SendRequest({.op = kReproOpReady}) || !ReceiveByte(&reply)) return false;
    if (reply == kLoaderReady) break;
    ++tries;
    platform::Tracef("%04X = try\n", tries);
    if (Cancelled()) return false;
    if (platform::DeadlinePassed(platform::TickCount(), give_up)) {
      TraceText("Remote terminal not ready.\n");
      return false;
    }
  }
  State().reproStatus = kReproUnderWay;
  return true;
}

bool RunReproSteps() {
  for (const ReproStep& step : kReproSteps) {
    TraceStatus(step.text);
    uint8_t code = step.operation();
    if (Cancelled() || code != 0) return false;
  }
  TraceStatus(kTextFinish);
  State().reproStatus = kReproEnded;
  return true;
}

uint8_t WsysPatchSendVQ3(const char* rom_path, const char* map_path, int32_t transfer_baud,
                         int32_t send_command) {
  if (rom_path == nullptr || map_path == nullptr) return 0;
  CommandConnection& c = *Connection();
  if (!LoadReproFiles(rom_path, map_path, c.portHandle, transfer_baud)) return 0;
  bool ok = (send_command & 0xFF) == 0 || SendPatchCommand();
  ok = ok && WaitForRemote() && RunReproSteps();
  ReleaseReproFiles();
  return ok ? 1 : 0;
}

}  // namespace tpx
