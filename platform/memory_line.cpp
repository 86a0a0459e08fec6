// The in-memory line: the far end runs whenever the host touches the line, and
// host waits let the process clock (virtual in tests) move on millisecond by
// millisecond until the far end answers.
#include "platform/memory_line.h"

#include <algorithm>

namespace platform {

namespace {
constexpr uint32_t kPowerOnSpeed = 9600;  // bits per second after ApplyLineSettings
constexpr uint32_t kWaitStepMs = 1;       // virtual time per step of a host wait
}  // namespace

std::vector<uint8_t> MemoryLine::TakeFromHost() {
  std::vector<uint8_t> taken;
  taken.swap(from_host_);
  return taken;
}

void MemoryLine::SendToHost(const uint8_t* bytes, size_t count) {
  if (bytes == nullptr) return;
  to_host_.insert(to_host_.end(), bytes, bytes + count);
}

void MemoryLine::SendToHost(std::initializer_list<uint8_t> bytes) {
  to_host_.insert(to_host_.end(), bytes.begin(), bytes.end());
}

void MemoryLine::RunPeer() {
  // The peer calls back into the line; it must not be run again from there.
  if (peer_ == nullptr || running_peer_ || gone_) return;
  running_peer_ = true;
  peer_->Run(*this, CurrentClock().Now());
  running_peer_ = false;
}

// Like a vanished device, a hung-up line refuses its settings as well.
bool MemoryLine::ApplyLineSettings() {
  if (gone_) return false;
  settings_applied_ = true;
  speed_ = kPowerOnSpeed;
  return true;
}

bool MemoryLine::SetSpeed(uint32_t bits_per_second) {
  if (gone_) return false;
  speed_ = bits_per_second;
  return true;
}

bool MemoryLine::SetDtr(bool on) {
  if (gone_) return false;
  dtr_ = on;
  return true;
}

bool MemoryLine::SetRts(bool on) {
  if (gone_) return false;
  rts_ = on;
  return true;
}

void MemoryLine::Purge(bool /*output*/, bool input) {
  // Output never waits in this line: the peer has it as soon as it is written.
  if (!input) return;
  to_host_.clear();
  ++input_purges_;
}

int32_t MemoryLine::InputQueued() {
  if (gone_) return -1;
  RunPeer();
  if (gone_) return -1;
  return static_cast<int32_t>(std::min<size_t>(to_host_.size(), INT32_MAX));
}

int32_t MemoryLine::OutputQueued() {
  return gone_ ? -1 : 0;
}

int32_t MemoryLine::Read(uint8_t* dst, uint32_t max) {
  if (gone_) return -1;
  RunPeer();
  if (gone_) return -1;
  largest_read_ = std::max(largest_read_, max);
  const size_t count = std::min<size_t>({to_host_.size(), max, INT32_MAX});
  if (count > 0 && dst == nullptr) return -1;
  std::copy_n(to_host_.begin(), count, dst);
  to_host_.erase(to_host_.begin(), to_host_.begin() + static_cast<std::ptrdiff_t>(count));
  return static_cast<int32_t>(count);
}

int32_t MemoryLine::Write(const uint8_t* src, uint32_t count) {
  if (gone_) return -1;
  if (count > INT32_MAX || (count > 0 && src == nullptr)) return -1;
  written_.insert(written_.end(), src, src + count);
  from_host_.insert(from_host_.end(), src, src + count);
  RunPeer();
  return static_cast<int32_t>(count);
}

WaitResult MemoryLine::WaitReadable(uint32_t ms) {
  if (gone_) return WaitResult::kGone;
  RunPeer();
  if (gone_) return WaitResult::kGone;
  if (!to_host_.empty()) return WaitResult::kReady;
  for (uint32_t waited = 0; waited < ms; waited += kWaitStepMs) {
    CurrentClock().Sleep(kWaitStepMs);
    RunPeer();
    if (gone_) return WaitResult::kGone;
    if (!to_host_.empty()) return WaitResult::kReady;
  }
  return WaitResult::kTimeout;
}

WaitResult MemoryLine::WaitWritable(uint32_t /*ms*/) {
  return gone_ ? WaitResult::kGone : WaitResult::kReady;
}

WaitResult MemoryLine::WaitDrained(uint32_t /*ms*/) {
  return gone_ ? WaitResult::kGone : WaitResult::kReady;
}

}  // namespace platform
