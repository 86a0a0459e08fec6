#include "linklib/link_state.h"

namespace zep {

LinkState& State() {
  static LinkState state;
  return state;
}

void ResetState() {
  LinkState& s = State();
  s.error_status = kStatusOk;
  s.message_id = 0;
  s.cancel_flag = 0;
  s.format_text = "%d bytes.";
  s.open_event = false;
  s.unread_count = 0;
  s.read_position = 0;
  s.timer.ReleaseAll();
}

}  // namespace zep
