// The reprogramming engine behind TPXWsysPatchSendVQ3: reads the files, tells
// the organizer to enter its loader, waits until the loader is ready and runs
// the eight steps. One run at a time, on the caller's thread.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace tpx {

// How long the loader may keep answering "busy" before the run gives up.
constexpr uint32_t kReadyWaitLimitMs = 120000;

bool WaitForRemote();
bool RunReproSteps();
uint8_t WsysPatchSendVQ3(const char* rom_path, const char* map_path, int32_t transfer_baud,
                         int32_t send_command);

}  // namespace tpx
