#include "cmdlib/progress.h"

#include "cmdlib/library_state.h"
#include "platform/trace.h"
#include "platform/windows.h"

namespace tpx {
namespace {

// Some entries are never traced; they keep their places so the indices hold.
constexpr const char* kStatusTexts[13] = {
    "Tune baud rate...\n",
    "Sending program...\n",
    "Sending first 64KB data...\n",
    "Program remote flash...\n",
    "Verify checksum...\n",
    "Finish.\n",
    "Waiting for remote  terminal...\n",
    "Remote terminal     Connected.\n",
    "Accessing Remote...\n",
    "Format databank...\n",
    "Please Wait...\n",
    "Unlock...\n",
    "Modify startup...\n",
};

}  // namespace

void PostProgress(uintptr_t kind, intptr_t value) {
  const LibraryState& state = State();
  if (state.useWindowMessages == 0 || state.currentConnection == nullptr) return;
  // A window that is gone or a full queue is no reason to stop the run.
  platform::PostMessage(state.currentConnection->ownerWindow, state.progressMessage, kind, value);
}

void TraceText(const char* text) {
  platform::Trace(text);
}

void TraceStatus(StatusText index) {
  TraceText(kStatusTexts[index]);
}

}  // namespace tpx
