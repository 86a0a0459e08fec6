// The sending side: frames out, the sender's handshake, whole messages.
#include <vector>

#include "linklib/link_state.h"
#include "linklib/linklib_exports.h"
#include "linklib/packet.h"
#include "linklib/port_io.h"
#include "linklib/wire.h"
#include "platform/windows.h"

namespace zep {

int SendControlFrame(CCommPort& port, uint8_t code, uint32_t ms) {
  CTimer& timer = State().timer;
  const auto frame = ControlFrame(code);
  const int slot = timer.Start(ms);
  const int ok = WriteBytes(port, frame.data(), frame.size(), slot) && WaitOutputEmpty(port, slot);
  timer.Release(slot);
  return ok;
}

int ReceiveControlFrame(CCommPort& port, uint8_t* code, uint32_t ms) {
  CTimer& timer = State().timer;
  const int slot = timer.Start(ms);
  ControlFrameRecognizer recognizer;
  int ok = 0;
  uint8_t byte = 0;
  while (TakeByte(port, slot, &byte)) {
    if (recognizer.Feed(byte)) {
      *code = recognizer.code();
      ok = 1;
      break;
    }
  }
  timer.Release(slot);
  return ok;
}

// The frame goes out in one write; on the wire it is the header, the data and
// the checksum, as if written one after the other.
int SendDataFrame(CCommPort& port, const uint8_t* data, uint16_t count, uint16_t block,
                  uint32_t ms) {
  const auto header = DataFrameHeader(block, count);
  const uint16_t sum = Checksum(data, count);
  std::vector<uint8_t> frame(header.begin(), header.end());
  frame.insert(frame.end(), data, data + count);
  frame.push_back(static_cast<uint8_t>(sum & 0xFF));
  frame.push_back(static_cast<uint8_t>(sum >> 8));

  CTimer& timer = State().timer;
  const int slot = timer.Start(ms);
  const int ok = WriteBytes(port, frame.data(), static_cast<uint32_t>(frame.size()), slot) &&
                 WaitOutputEmpty(port, slot);
  timer.Release(slot);
  return ok;
}

namespace {

// ENQ about once a second until the receiver answers SYN or the slot expires.
bool EnqPhase(CCommPort& port, int slot) {
  LinkState& s = State();
  while (!s.timer.Check(slot, 0) && s.error_status == kStatusOk && !port.LineGone()) {
    uint8_t code = 0;
    if (SendControlFrame(port, kEnq, kControlWriteMs) &&
        ReceiveControlFrame(port, &code, kControlWaitMs) && code == kSyn)
      return true;
  }
  return false;
}

}  // namespace

int SendPacket(CCommPort& port, const uint8_t* data, uint16_t count, uint16_t block) {
  LinkState& s = State();
  const int slot = s.timer.Acquire();
  int result = 0;
  for (int attempt = 0; attempt < kAttemptsPerPacket && !result; ++attempt) {
    // A status left from a failure or a cancel refuses all traffic.
    if (s.error_status != kStatusOk || port.LineGone()) break;
    s.timer.Check(slot, kEnqPhaseMs);
    if (!EnqPhase(port, slot)) continue;
    uint8_t code = 0;
    if (SendDataFrame(port, data, count, block, kDataWriteMs) &&
        ReceiveControlFrame(port, &code, kAckWaitMs) && code == kAck) {
      s.timer.Delay(kPauseAfterAckMs);
      result = 1;
    }
  }
  s.timer.Release(slot);
  return result;
}

WindowDisabled::WindowDisabled(uint32_t window)
    : window_(window), was_enabled_(platform::IsWindowEnabled(window)) {
  platform::EnableWindow(window_, false);
}

WindowDisabled::~WindowDisabled() {
  platform::EnableWindow(window_, was_enabled_);
}

}  // namespace zep

extern "C" {

// Cuts the message into packets of 2048 bytes numbered 1, 2, 3 ..., the last
// (or only) one numbered 0xFFFF. The overall limit is tested between packets.
int32_t SendZep(uint32_t window, int32_t port, const void* data, int32_t length,
                uint32_t timeout_ms, uint32_t /*reserved*/) {
  // A negative length would cut a negative count into the frame; nothing is sent.
  if (port == ZEP_INVALID_PORT || length < 0) return 0;
  zep::CCommPort context(port, window);
  zep::WindowDisabled disabled(window);
  zep::CTimer& timer = zep::State().timer;
  const auto* bytes = static_cast<const uint8_t*>(data);
  const int slot = timer.Start(timeout_ms);
  int32_t sent = 0;
  uint16_t block = 0;
  bool done = false;
  while (!done && !timer.Check(slot, 0)) {
    uint16_t count;
    if (sent + zep::kMaxPacketData < length) {
      count = zep::kMaxPacketData;
      ++block;
    } else {
      count = static_cast<uint16_t>(length - sent);
      block = zep::kLastBlock;
    }
    if (!zep::SendPacket(context, bytes + sent, count, block)) break;
    sent += count;
    done = block == zep::kLastBlock;
  }
  timer.Release(slot);
  return done ? 1 : 0;
}

int32_t SendZep1Packet(uint32_t window, int32_t port, const void* data, uint16_t count,
                       uint16_t block) {
  if (port == ZEP_INVALID_PORT) return 0;
  zep::CCommPort context(port, window);
  return zep::SendPacket(context, static_cast<const uint8_t*>(data), count, block);
}

}  // extern "C"
