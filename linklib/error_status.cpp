// The process-wide error status, message id, cancel flag and format text, and
// the one message box that shows them.
#include <cstring>

#include "linklib/link_state.h"
#include "linklib/linklib_exports.h"
#include "linklib/messages.h"
#include "platform/message_box.h"

namespace zep {
namespace {

constexpr size_t kFormatTextMax = 255;
constexpr uint32_t kMessageStyle = platform::kMbOk | platform::kMbIconExclamation;

int32_t ShowMessage(uint32_t window, int32_t id) {
  return platform::ShowMessageBox(window, MessageText(id), "", kMessageStyle);
}

}  // namespace
}  // namespace zep

extern "C" {

void ClearErrorStatus(void) {
  zep::State().message_id = 0;
  zep::State().error_status = zep::kStatusOk;
}

int32_t SetErrorStatus(int32_t status) {
  return zep::State().error_status = status;
}
int32_t GetErrorStatus(void) {
  return zep::State().error_status;
}
int32_t SetMessageID(int32_t id) {
  return zep::State().message_id = id;
}
int32_t GetMessageID(void) {
  return zep::State().message_id;
}

// A chosen message wins; otherwise only a positive status other than 999 is
// told, as "Comm port error". A cancel (-1) or a failed open (999) is left to
// the caller to report.
int32_t OutputMessage(uint32_t window) {
  const zep::LinkState& s = zep::State();
  if (s.message_id != 0) return zep::ShowMessage(window, s.message_id);
  if (s.error_status <= 0 || s.error_status == zep::kStatusOpenFailed) return s.error_status;
  return zep::ShowMessage(window, zep::kMsgCommPortError);
}

void SetFormatString(const char* text) {
  if (text && std::strlen(text) <= zep::kFormatTextMax) zep::State().format_text = text;
}

int32_t ZEPUserCancel(int32_t flag) {
  return zep::State().cancel_flag = static_cast<uint8_t>(flag & 0xFF);
}

}  // extern "C"
