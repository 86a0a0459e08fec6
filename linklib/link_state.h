// What the link library keeps for the whole process: one error state, one
// receive buffer and one deadline table, so it serves one open port at a time.
#pragma once

#include <cstdint>
#include <string>

#include "linklib/ctimer.h"

namespace zep {

constexpr size_t kReceiveBufferSize = 2048;
constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusCancelled = -1;
constexpr int32_t kStatusOpenFailed = 999;

struct LinkState {
  int32_t error_status = kStatusOk;
  int32_t message_id = 0;  // string-table id to show next, 0 = none
  uint8_t cancel_flag = 0;
  std::string format_text = "%d bytes.";
  // Stands for the original's open event: made by an open, closed by CloseZep.
  bool open_event = false;

  // Bytes read from the port and not yet consumed; they outlive the call that
  // read them and are the next reader's first bytes.
  uint8_t receive_buffer[kReceiveBufferSize] = {};
  int32_t unread_count = 0;
  int32_t read_position = 0;

  CTimer timer;
};

LinkState& State();
// Back to the values at load, for tests.
void ResetState();

}  // namespace zep
