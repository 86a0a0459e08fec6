// The organizer in its normal link mode: system commands and their replies.
#include <array>
#include <cstring>
#include <string_view>

#include "orgsim/organizer.h"
#include "orgsim/wire.h"

namespace orgsim {
namespace {

constexpr std::string_view kReset = "WSYS RESET";
constexpr std::string_view kQuit = "WSYS QUIT";
constexpr std::string_view kQimAll = "WSYS RECEIVE QIM_ALL S1:";
constexpr std::string_view kPatchSend = "WSYS PATCH SEND";
constexpr std::string_view kSetBaudPrefix = "WSYS SET BAUD ";  // ends in a space
constexpr size_t kSetBaudLength = 17;      // prefix, 16-bit code (high byte first), 00
constexpr size_t kSetBaudCodeOffset = 14;  // the code's high byte
constexpr std::string_view kOk = "OK";     // the positive reply: two bytes, no zero
// Refusal of a command it does not know or a speed it has no code for; the
// host only looks for "OK", so any other reply is a refusal.
constexpr std::string_view kRefused = "NG";
constexpr std::string_view kLineEnd = "\r\n";  // ends each line of the device block

struct SpeedCode {
  uint16_t code;
  uint32_t bits_per_second;
};
constexpr std::array<SpeedCode, 6> kSpeedCodes = {
    {{1, 2400}, {2, 9600}, {4, 19200}, {8, 38400}, {16, 57600}, {32, 115200}}};

Message Text(std::string_view text) {
  return Message(text.begin(), text.end());
}

// The command text: up to its zero byte, or the whole message without one.
std::string_view CommandText(std::span<const uint8_t> message) {
  if (message.empty()) return {};
  const auto* bytes = reinterpret_cast<const char*>(message.data());
  return std::string_view(bytes, strnlen(bytes, message.size()));
}

}  // namespace

Message Organizer::DeviceBlock() const {
  std::string block;
  for (const std::string* line : {&config_.model_name, &system_line1_, &system_line2_}) {
    block.append(*line).append(kLineEnd);
  }
  for (const std::string& line : config_.extra_lines) block.append(line).append(kLineEnd);
  return Text(block);
}

Response Organizer::OnSetBaud(std::span<const uint8_t> message) {
  ++summary_.set_baud;
  const uint16_t code =
      static_cast<uint16_t>(message[kSetBaudCodeOffset] << 8 | message[kSetBaudCodeOffset + 1]);
  for (const SpeedCode& entry : kSpeedCodes) {
    if (entry.code == code) {
      Response r{{Text(kOk)}};
      r.speed_after = entry.bits_per_second;
      return r;
    }
  }
  return {{Text(kRefused)}};
}

Response Organizer::OnCommand(std::span<const uint8_t> message) {
  const std::string_view text = CommandText(message);
  if (message.size() == kSetBaudLength &&
      std::string_view(reinterpret_cast<const char*>(message.data()), kSetBaudPrefix.size()) ==
          kSetBaudPrefix) {
    return OnSetBaud(message);
  }
  if (text == kReset || text == kQuit) {
    ++(text == kReset ? summary_.resets : summary_.quits);
    // Leaving the link: the next session starts at power-on speed again.
    Response r{{Text(kOk)}};
    r.speed_after = wire::kPowerOnSpeed;
    return r;
  }
  if (text == kQimAll) {
    ++summary_.qim_all;
    return {{DeviceBlock()}};
  }
  if (text == kPatchSend) {
    ++summary_.patch_send;
    in_loader_ = true;
    busy_left_ = config_.busy_replies;
    summary_.mode = "loader";
    return {};
  }
  ++summary_.unknown_commands;
  return {{Text(kRefused)}};
}

}  // namespace orgsim
