// Trace output: each text goes to the file named by VQ3_TRACE ("-" = stderr),
// appended and flushed before Trace returns; without the variable, nowhere.
#pragma once

namespace platform {

void Trace(const char* text);
// printf-style; the result is cut at 1023 characters.
void Tracef(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
