// The library's own catalogue of user messages.
#pragma once

#include <cstdint>

namespace zep {

constexpr int32_t kMsgCommPortError = 61214;  // the only one the library shows by itself

// The text of a message id, exactly as stored; "" for an id not in the table.
const char* MessageText(int32_t id);

}  // namespace zep
