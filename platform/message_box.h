// The one modal message box the libraries may show, behind a host hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/windows.h"

namespace platform {

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr int kIdOk = 1;

using MessageBoxHook =
    std::function<int(WindowId owner, const std::string& text, const std::string& caption, uint32_t style)>;

// nullptr (or an empty hook) restores the default: caption and text to stderr, answer OK.
void SetMessageBoxHook(MessageBoxHook hook);
int ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption, uint32_t style);

}  // namespace platform
