// The receiving side: the receiver's handshake and the four receive exports.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "linklib/link_state.h"
#include "linklib/linklib_exports.h"
#include "linklib/packet.h"
#include "linklib/port_io.h"
#include "linklib/wire.h"

namespace zep {

int ReceiveDataFrame(CCommPort& port, uint8_t* buffer, uint16_t* length, uint16_t* block,
                     uint32_t ms) {
  CTimer& timer = State().timer;
  const int slot = timer.Start(ms);
  DataFrameRecognizer recognizer(buffer);
  auto result = DataFrameRecognizer::Result::kMore;
  uint8_t byte = 0;
  while (result == DataFrameRecognizer::Result::kMore && TakeByte(port, slot, &byte))
    result = recognizer.Feed(byte);
  timer.Release(slot);
  *length = recognizer.length();
  if (result != DataFrameRecognizer::Result::kComplete) return 0;
  // The last packet is always welcome; any other must be the one expected.
  if (recognizer.block() == kLastBlock) {
    *block = kLastBlock;
    return 1;
  }
  return recognizer.block() == *block ? 1 : 0;
}

namespace {

bool AwaitEnq(CCommPort& port, int slot) {
  LinkState& s = State();
  while (!s.timer.Check(slot, 0) && s.error_status == kStatusOk && !port.LineGone()) {
    uint8_t code = 0;
    if (ReceiveControlFrame(port, &code, kControlWaitMs) && code == kEnq) return true;
  }
  return false;
}

// After SYN the sender's data frame must begin within the slot's time. Bytes
// already in the receive buffer count too, and a cancel ends the wait at once
// rather than after the full ten seconds.
bool AwaitData(CCommPort& port, int slot) {
  LinkState& s = State();
  while (!CheckAbort(slot) && s.error_status == kStatusOk && !port.LineGone()) {
    if (s.unread_count > 0 || !InputQueueEmpty(port)) return true;
    WaitForInput(port, slot);
  }
  return false;
}

}  // namespace

int ReceivePacket(CCommPort& port, uint8_t* buffer, uint16_t* length, uint16_t* block, bool rapid) {
  LinkState& s = State();
  const int slot = s.timer.Acquire();
  int result = 0;
  for (int attempt = 0; attempt < kAttemptsPerPacket && !result; ++attempt) {
    if (s.error_status != kStatusOk || port.LineGone()) break;
    s.timer.Check(slot, rapid ? kRapidEnqPhaseMs : kEnqPhaseMs);
    if (!AwaitEnq(port, slot)) continue;
    if (!SendControlFrame(port, kSyn, kControlWriteMs)) continue;
    s.timer.Check(slot, kFirstDataByteMs);
    if (!AwaitData(port, slot)) continue;
    // A rejected frame gets no ACK: the sender starts over with ENQ.
    if (!ReceiveDataFrame(port, buffer, length, block, kDataReceiveMs)) continue;
    if (!SendControlFrame(port, kAck, kAckWriteMs)) continue;
    s.timer.Delay(kPauseAfterAckMs);
    result = 1;
  }
  s.timer.Release(slot);
  return result;
}

namespace {

int32_t ReceiveMessage(uint32_t window, int32_t port, void* destination, int32_t capacity,
                       int32_t* length, uint32_t timeout_ms, bool rapid) {
  if (length) *length = 0;
  if (port == ZEP_INVALID_PORT) return 0;
  CCommPort context(port, window);
  WindowDisabled disabled(window);
  CTimer& timer = State().timer;
  auto* dest = static_cast<uint8_t*>(destination);
  uint8_t packet[kPacketBufferSize];
  uint16_t expected = 1;
  int64_t received = 0;
  bool success = false;
  const int slot = timer.Start(timeout_ms);
  while (!timer.Check(slot, 0)) {
    uint16_t count = 0;
    if (!ReceivePacket(context, packet, &count, &expected, rapid)) break;
    // Too big for the caller: fail, although this packet was acknowledged.
    if (received + count > capacity) break;
    if (count > 0) std::memcpy(dest + received, packet, count);
    received += count;
    if (expected == kLastBlock) {
      success = true;
      break;
    }
    ++expected;
  }
  timer.Release(slot);
  if (length) *length = success ? static_cast<int32_t>(received) : 0;
  return success ? 1 : 0;
}

constexpr size_t kHeapStep = 8192;  // ReceiveZep2's block grows by this much

}  // namespace
}  // namespace zep

extern "C" {

int32_t ReceiveZep(uint32_t window, int32_t port, void* destination, int32_t capacity,
                   int32_t* length, uint32_t timeout_ms, uint32_t /*reserved*/) {
  return zep::ReceiveMessage(window, port, destination, capacity, length, timeout_ms, false);
}

int32_t ReceiveZepRapid(uint32_t window, int32_t port, void* destination, int32_t capacity,
                        int32_t* length, uint32_t timeout_ms, uint32_t /*reserved*/) {
  return zep::ReceiveMessage(window, port, destination, capacity, length, timeout_ms, true);
}

void* ReceiveZep2(uint32_t window, int32_t port, int32_t* length, uint32_t timeout_ms,
                  uint32_t /*reserved*/) {
  if (length) *length = 0;
  if (port == ZEP_INVALID_PORT) return nullptr;
  zep::CCommPort context(port, window);
  zep::CTimer& timer = zep::State().timer;
  uint8_t packet[zep::kPacketBufferSize];
  uint8_t* memory = nullptr;
  size_t capacity = 0;
  size_t received = 0;
  uint16_t expected = 1;
  bool success = false;
  const int slot = timer.Start(timeout_ms);
  uint16_t count = 0;
  while (!timer.Check(slot, 0) && zep::ReceivePacket(context, packet, &count, &expected, false)) {
    if (capacity < received + count) {
      // The length travels back as a signed 32-bit count, so the block stops there.
      void* grown = capacity + zep::kHeapStep > INT32_MAX
                        ? nullptr
                        : std::realloc(memory, capacity + zep::kHeapStep);
      if (!grown) break;
      memory = static_cast<uint8_t*>(grown);
      std::memset(memory + capacity, 0, zep::kHeapStep);
      capacity += zep::kHeapStep;
    }
    if (count > 0) std::memcpy(memory + received, packet, count);
    received += count;
    if (expected == zep::kLastBlock) {
      success = true;
      break;
    }
    ++expected;
  }
  timer.Release(slot);
  if (!success) {
    std::free(memory);
    return nullptr;
  }
  if (length) *length = static_cast<int32_t>(received);
  return memory;
}

int32_t ReceiveZep1Packet(uint32_t window, int32_t port, void* buffer, uint16_t* length,
                          uint16_t* block) {
  if (port == ZEP_INVALID_PORT || !buffer || !length || !block) return 0;
  zep::CCommPort context(port, window);
  return zep::ReceivePacket(context, static_cast<uint8_t*>(buffer), length, block, false);
}

}  // extern "C"
