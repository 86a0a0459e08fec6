// The modal message box: the host shows it; without a host it goes to stderr.
#include "platform/message_box.h"

#include <cstdio>
#include <utility>

namespace platform {
namespace {

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
  Hook() = std::move(hook);
}

int ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption,
                   uint32_t style) {
  // Copy, so a hook that replaces itself while it runs stays alive.
  MessageBoxHook hook = Hook();
  if (hook) return hook(owner, text, caption, style);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return kIdOk;
}

}  // namespace platform
