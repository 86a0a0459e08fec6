#include "orgsim/pty_line.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "orgsim/wire.h"

namespace orgsim {
namespace {

constexpr auto kHangUpRecheck =
    std::chrono::milliseconds(20);                         // how often a closed port is looked at
constexpr auto kPaceSlice = std::chrono::milliseconds(4);  // paced output goes in slices this long
constexpr auto kWriteStall = std::chrono::seconds(20);  // a host that reads nothing for this long
constexpr size_t kReadChunk = 4096;

struct SpeedName {
  speed_t code;
  uint32_t bits_per_second;
};
constexpr SpeedName kSpeeds[] = {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                 {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                 {B57600, 57600}, {B115200, 115200}};

int MsUntil(SimClock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - SimClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

}  // namespace

PtyLine::PtyLine(bool pacing, std::mutex& lock, Counters& counters)
    : pacing_(pacing), lock_(lock), counters_(counters) {}

PtyLine::~PtyLine() {
  if (master_ >= 0) close(master_);
  if (stop_event_ >= 0) close(stop_event_);
}

bool PtyLine::Open(std::string* error) {
  stop_event_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  termios raw{};
  cfmakeraw(&raw);
  raw.c_cflag |= CS8 | CREAD | CLOCAL;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  cfsetspeed(&raw, B9600);
  int slave = -1;
  if (stop_event_ < 0 || openpty(&master_, &slave, nullptr, &raw, nullptr) != 0) {
    if (error) *error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  const char* name = ttyname(slave);
  slave_path_ = name ? name : "";
  // Closing our slave makes the master report a hang-up until the host opens it.
  close(slave);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  if (slave_path_.empty()) {
    if (error) *error = "cannot name the pseudo-terminal's slave";
    return false;
  }
  return true;
}

PtyLine::Result PtyLine::WaitHostOpen() {
  for (;;) {
    if (master_ < 0) return Result::kClosed;
    pollfd p{master_, POLLIN, 0};
    poll(&p, 1, 0);
    if (!(p.revents & (POLLHUP | POLLERR))) break;
    if (SleepUntil(SimClock::now() + kHangUpRecheck, false) == Result::kStop) return Result::kStop;
  }
  host_open_ = true;
  input_.clear();
  rx_free_ = SimClock::now();
  return Result::kOk;
}

uint32_t PtyLine::HostSpeed() const {
  termios t{};
  if (master_ < 0 || tcgetattr(master_, &t) != 0) return 0;
  const speed_t code = cfgetospeed(&t);
  for (const SpeedName& s : kSpeeds) {
    if (s.code == code) return s.bits_per_second;
  }
  return 0;
}

SimClock::duration PtyLine::ByteTime() const {
  return std::chrono::duration_cast<SimClock::duration>(
      std::chrono::duration<double>(double{wire::kBitsPerByte} / speed_));
}

void PtyLine::CountBytes(size_t n, bool to_host) {
  std::lock_guard<std::mutex> hold(lock_);
  (to_host ? counters_.bytes_to_host : counters_.bytes_from_host) += n;
  counters_.wire_seconds += static_cast<double>(n) * wire::kBitsPerByte / speed_;
}

PtyLine::Result PtyLine::TakeInput() {
  uint8_t buffer[kReadChunk];
  const ssize_t n = read(master_, buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return Result::kOk;
  if (n <= 0) {
    host_open_ = false;
    return Result::kClosed;
  }
  const uint32_t host = HostSpeed();
  if (host != 0 && host != speed_) {
    bytes_lost_ += static_cast<uint32_t>(n);  // garbled by the speed difference
    return Result::kOk;
  }
  CountBytes(static_cast<size_t>(n), false);
  const auto now = SimClock::now();
  for (ssize_t i = 0; i < n; ++i) {
    if (pacing_) {
      rx_free_ = std::max(rx_free_, now) + ByteTime();
      input_.push_back({buffer[i], rx_free_});
    } else {
      input_.push_back({buffer[i], now});
    }
  }
  return Result::kOk;
}

PtyLine::Result PtyLine::Fill(SimClock::time_point deadline) {
  while (input_.empty()) {
    if (!host_open_ || master_ < 0) return Result::kClosed;
    pollfd p[2] = {{master_, POLLIN, 0}, {stop_event_, POLLIN, 0}};
    poll(p, 2, MsUntil(deadline));
    if (p[1].revents & POLLIN) return Result::kStop;
    if (p[0].revents & POLLIN) {
      if (TakeInput() == Result::kClosed) return Result::kClosed;
    } else if (p[0].revents & (POLLHUP | POLLERR)) {
      host_open_ = false;
      return Result::kClosed;
    } else if (SimClock::now() >= deadline) {
      return Result::kTimeout;
    }
  }
  return Result::kOk;
}

PtyLine::Result PtyLine::ReadByte(uint8_t* byte, SimClock::time_point deadline) {
  const Result filled = Fill(deadline);
  if (filled != Result::kOk) return filled;
  const Arrival next = input_.front();
  if (next.at > SimClock::now()) {
    const Result slept = SleepUntil(std::min(next.at, deadline));
    if (slept != Result::kOk) return slept;
    if (next.at > deadline) return Result::kTimeout;
  }
  input_.pop_front();
  *byte = next.byte;
  return Result::kOk;
}

PtyLine::Result PtyLine::WriteChunk(std::span<const uint8_t> chunk) {
  const auto give_up = SimClock::now() + kWriteStall;
  while (!chunk.empty()) {
    const ssize_t n = write(master_, chunk.data(), chunk.size());
    if (n > 0) {
      chunk = chunk.subspan(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      host_open_ = false;
      return Result::kClosed;
    }
    pollfd p[2] = {{master_, POLLOUT, 0}, {stop_event_, POLLIN, 0}};
    poll(p, 2, MsUntil(give_up));
    if (p[1].revents & POLLIN) return Result::kStop;
    if (p[0].revents & (POLLHUP | POLLERR)) {
      host_open_ = false;
      return Result::kClosed;
    }
    if (SimClock::now() >= give_up) return Result::kTimeout;
  }
  return Result::kOk;
}

PtyLine::Result PtyLine::Write(std::span<const uint8_t> bytes) {
  if (!host_open_ || master_ < 0) return Result::kClosed;
  const uint32_t host = HostSpeed();
  const bool garbled = host != 0 && host != speed_;
  if (!pacing_) {
    if (garbled) {
      bytes_lost_ += static_cast<uint32_t>(bytes.size());
      return Result::kOk;
    }
    CountBytes(bytes.size(), true);
    return WriteChunk(bytes);
  }
  const size_t slice = std::max<size_t>(1, static_cast<size_t>(kPaceSlice / ByteTime()));
  auto leaves = SimClock::now();
  while (!bytes.empty()) {
    const auto chunk = bytes.first(std::min(slice, bytes.size()));
    bytes = bytes.subspan(chunk.size());
    if (garbled) {
      bytes_lost_ += static_cast<uint32_t>(chunk.size());
    } else {
      CountBytes(chunk.size(), true);
      const Result r = WriteChunk(chunk);
      if (r != Result::kOk) return r;
    }
    leaves += ByteTime() * static_cast<long>(chunk.size());
    const Result r = SleepUntil(leaves);
    if (r != Result::kOk) return r;
  }
  return Result::kOk;
}

PtyLine::Result PtyLine::SleepUntil(SimClock::time_point when, bool watch_host) {
  // A host that closes the port while the organizer rests must still be
  // noticed: it may open it again at once, and a pty shows no trace of that.
  const bool watching = watch_host && host_open_ && master_ >= 0;
  for (;;) {
    const auto now = SimClock::now();
    if (now >= when) return Result::kOk;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(when - now);
    timespec ts{static_cast<time_t>(left.count() / 1000000000),
                static_cast<long>(left.count() % 1000000000)};
    pollfd p[2] = {{stop_event_, POLLIN, 0}, {watching ? master_ : -1, 0, 0}};
    if (ppoll(p, 2, &ts, nullptr) <= 0) continue;
    if (p[0].revents & POLLIN) return Result::kStop;
    if (p[1].revents & (POLLHUP | POLLERR)) {
      host_open_ = false;
      return Result::kClosed;
    }
  }
}

PtyLine::Result PtyLine::Sleep(std::chrono::milliseconds duration) {
  return SleepUntil(SimClock::now() + duration);
}

void PtyLine::HangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
  host_open_ = false;
}

void PtyLine::RequestStop() {
  const uint64_t one = 1;
  if (write(stop_event_, &one, sizeof one) < 0) {
    // The event stays set once written; a failed write means it already is.
  }
}

}  // namespace orgsim
