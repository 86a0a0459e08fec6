// Trace output, the counterpart of the original's debugger output.
#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kTraceLimit = 1023;  // longest text Tracef produces

}  // namespace

void Trace(const char* text) {
  if (text == nullptr) return;
  // Read each time, so a test or a user can switch it while the program runs.
  const char* target = std::getenv("VQ3_TRACE");
  if (target == nullptr || *target == '\0') return;  // set but empty: also nowhere
  const size_t length = std::strlen(text);
  if (std::strcmp(target, "-") == 0) {
    std::fwrite(text, 1, length, stderr);
    std::fflush(stderr);
    return;
  }
  // Opened and closed per text, so the file holds it when Trace returns.
  FILE* file = std::fopen(target, "ae");
  if (file == nullptr) return;
  std::fwrite(text, 1, length, file);
  std::fflush(file);
  std::fclose(file);
}

void Tracef(const char* format, ...) {
  char buffer[kTraceLimit + 1];
  buffer[0] = '\0';  // stays a text even when the format fails
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Trace(buffer);
}

}  // namespace platform
