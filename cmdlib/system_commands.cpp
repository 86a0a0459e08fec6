#include "cmdlib/system_commands.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "cmdlib/library_state.h"

namespace tpx {
namespace {

constexpr char kResetCommand[] = "WSYS RESET";
constexpr char kQuitCommand[] = "WSYS QUIT";
constexpr char kQimAllCommand[] = "WSYS RECEIVE QIM_ALL S1:";
constexpr char kPatchCommand[] = "WSYS PATCH SEND";
constexpr char kSetBaudText[] = "WSYS SET BAUD ";  // 14 characters, the blank included
constexpr uint8_t kReplyOk[2] = {0x4F, 0x4B};      // "OK"; what follows is not examined
constexpr uint32_t kReserved = 0;                  // last argument of every transfer

struct SpeedCodeRow {
  uint32_t bits_per_second;
  uint8_t code;
};
constexpr SpeedCodeRow kSpeedCodes[] = {
    {2400, 0x01}, {9600, 0x02}, {19200, 0x04}, {38400, 0x08}, {57600, 0x10}, {115200, 0x20},
};

bool IsOk(const uint8_t* reply, int32_t count) {
  return count >= 2 && reply[0] == kReplyOk[0] && reply[1] == kReplyOk[1];
}

// Sends a text command with its terminating zero.
int32_t SendText(CommandConnection& c, const char* text) {
  return c.SendZep(c.ownerWindow, c.portHandle, text, static_cast<int32_t>(std::strlen(text) + 1),
                   c.TimeoutMs(), kReserved);
}

bool ReceiveOk(CommandConnection& c) {
  uint8_t reply[kShortReplyCapacity] = {};
  int32_t count = 0;
  return c.ReceiveZep(c.ownerWindow, c.portHandle, reply, kShortReplyCapacity, &count,
                      c.TimeoutMs(), kReserved) != 0 &&
         IsOk(reply, count);
}

// A command answered by "OK": RESET and QUIT.
uint8_t OkCommand(const char* text) {
  CommandConnection& c = *Connection();
  c.ClearErrorStatus();
  uint8_t result = 0;
  if (c.IsOpen() && SendText(c, text) != 0 && ReceiveOk(c)) result = 1;
  c.OutputMessage(c.ownerWindow);
  return result;
}

}  // namespace

std::optional<uint8_t> SpeedCode(uint32_t bits_per_second) {
  for (const SpeedCodeRow& row : kSpeedCodes) {
    if (row.bits_per_second == bits_per_second) return row.code;
  }
  return std::nullopt;
}

std::array<uint8_t, kSetBaudRequestSize> SetBaudRequest(uint8_t code) {
  std::array<uint8_t, kSetBaudRequestSize> request{};
  std::memcpy(request.data(), kSetBaudText, sizeof(kSetBaudText) - 1);
  request[14] = 0x00;  // high byte of the code: every code is below 256
  request[15] = code;
  request[16] = 0x00;
  return request;
}

uint8_t ReceiveStart() {
  CommandConnection& c = *Connection();
  c.ClearErrorStatus();
  uint8_t result = 0;
  if (c.IsOpen()) {
    uint8_t message[kShortReplyCapacity];  // the opening message is not read
    int32_t count = 0;
    if (c.ReceiveZepRapid(c.ownerWindow, c.portHandle, message, kShortReplyCapacity, &count,
                          c.TimeoutMs(), kReserved) != 0 &&
        c.GetErrorStatus() == 0) {
      result = 1;
    }
  }
  c.OutputMessage(c.ownerWindow);
  return result;
}

uint8_t WsysReset() {
  return OkCommand(kResetCommand);
}

uint8_t WsysQuit() {
  return OkCommand(kQuitCommand);
}

uint8_t WsysReceiveQimAll(void** block, uint32_t* length) {
  CommandConnection& c = *Connection();
  std::vector<uint8_t> area(kQimAllCapacity);
  c.ClearErrorStatus();
  *block = nullptr;
  int32_t count = 0;
  uint8_t result = 0;
  if (c.IsOpen() && SendText(c, kQimAllCommand) != 0 &&
      c.ReceiveZepRapid(c.ownerWindow, c.portHandle, area.data(), kQimAllCapacity, &count,
                        c.TimeoutMs(), kReserved) != 0 &&
      count > 0 && count <= kQimAllCapacity && c.GetErrorStatus() == 0) {
    // Exactly the received bytes, no terminating zero added; freed by TPXFreeBuf.
    void* copy = std::malloc(static_cast<size_t>(count));
    if (copy != nullptr) {
      std::memcpy(copy, area.data(), static_cast<size_t>(count));
      *block = copy;
      *length = static_cast<uint32_t>(count);
      result = 1;
    }
  }
  c.OutputMessage(c.ownerWindow);
  return result;
}

uint8_t WsysSetBaud(uint32_t bits_per_second) {
  std::optional<uint8_t> code = SpeedCode(bits_per_second);
  if (!code) return 0;  // unknown speed: nothing cleared, sent or shown
  std::array<uint8_t, kSetBaudRequestSize> request = SetBaudRequest(*code);
  CommandConnection& c = *Connection();
  c.ClearErrorStatus();
  uint8_t result = 0;
  if (c.IsOpen() &&
      c.SendZep(c.ownerWindow, c.portHandle, request.data(), kSetBaudRequestSize, c.TimeoutMs(),
                kReserved) != 0 &&
      ReceiveOk(c)) {
    // The PC side follows only once the organizer has agreed.
    c.ZEPSetSpeed(c.portHandle, bits_per_second);
    result = 1;
  }
  c.OutputMessage(c.ownerWindow);
  return result;
}

bool SendPatchCommand() {
  CommandConnection& c = *Connection();
  c.ClearErrorStatus();
  return c.IsOpen() && SendText(c, kPatchCommand) != 0;
}

}  // namespace tpx
