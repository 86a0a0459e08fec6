// Progress of a reprogramming run: posted to the owner window as the
// registered message "WM_USER_TepixProgress", and traced as text.
#pragma once

#include <cstdint>

namespace tpx {

// wparam of the progress message; lparam carries the value.
constexpr uintptr_t kProgressPosition = 1;  // index of the 1 KB block just sent
constexpr uintptr_t kProgressTotal = 2;     // image size in KB

// Indices into the status texts.
enum StatusText : uint8_t {
  kTextTuneBaudRate = 0,
  kTextSendingProgram = 1,
  kTextSendingFirst64KB = 2,
  kTextProgramFlash = 3,
  kTextVerifyChecksum = 4,
  kTextFinish = 5,
  kTextFormatDatabank = 9,
  kTextUnlock = 11,
  kTextModifyStartup = 12,
};

void PostProgress(uintptr_t kind, intptr_t value);
void TraceText(const char* text);
void TraceStatus(StatusText index);

}  // namespace tpx
