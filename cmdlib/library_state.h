// The command library's process-wide state: its connection, the progress
// switch and message id, the cancel flag and the reprogramming status.
#pragma once

#include <cstdint>
#include <memory>

#include "cmdlib/command_connection.h"

namespace tpx {

// Reprogramming status values.
constexpr int32_t kReproNotStarted = 0;
constexpr int32_t kReproUnderWay = 1;  // the loader answered; its memory is being changed
constexpr int32_t kReproEnded = 2;     // the step sequence has ended

struct LibraryState {
  std::unique_ptr<CommandConnection> currentConnection;
  uint32_t progressMessage = 0;
  uint8_t useWindowMessages = 0;
  uint8_t userCancel = 0;
  int32_t reproStatus = kReproNotStarted;
};

LibraryState& State();
inline CommandConnection* Connection() {
  return State().currentConnection.get();
}

// Registers "WM_USER_TepixProgress"; false when no id was given.
bool RegisterProgressMessage();

// TPXInit with a resolver of our own choosing (tests pass a recording fake).
uint8_t Init(uint32_t owner_window, void* module, const SymbolResolver& resolve);
// TPXInit proper: binds libZEPComm.so, loaded once and kept for the process.
uint8_t InitWithLinkLibrary(uint32_t owner_window);

uint8_t UseWM(uint32_t flag);
int32_t UserCancel(int32_t flag);

// Back to the state right after load (the connection destroyed); for tests
// and for the library's unload.
void ResetLibraryState();

}  // namespace tpx
