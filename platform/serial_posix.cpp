// The termios serial device: raw 8-O-1 without flow control, non-blocking
// reads and writes, waits with poll(), and a hang-up that is final.
#include "platform/detail/serial_posix.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace platform::detail {
namespace {

constexpr uint32_t kLineSpeed = 9600;  // bits per second after opening
constexpr uint32_t kDrainStepMs = 5;   // nap between output-queue checks
constexpr short kDeadEvents = POLLHUP | POLLERR | POLLNVAL;
constexpr uint32_t kMaxTransfer = INT32_MAX;  // a count must fit the result

struct Rate {
  uint32_t bits_per_second;
  speed_t constant;
};

constexpr Rate kRates[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec / 1000000);
}

// The raw line of the organizer: 8 data bits, odd parity checked on input,
// one stop bit, no flow control of any kind, no character processing.
void MakeRawOddParity(termios* t) {
  t->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | IGNPAR);
  t->c_iflag |= INPCK;
  t->c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t->c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t->c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CRTSCTS);
  t->c_cflag |= CS8 | PARENB | PARODD | CLOCAL | CREAD;
  t->c_cc[VMIN] = 1;
  t->c_cc[VTIME] = 0;
}

// Applies `wanted`. A pseudo-terminal cannot keep parity: it drops PARENB and
// the C library then reports EINVAL although everything else took effect. A
// device that holds all we asked but the parity bit is therefore accepted.
bool SetAttributes(int fd, int when, const termios& wanted) {
  if (tcsetattr(fd, when, &wanted) == 0) return true;
  const int error = errno;
  termios held{};
  if (error != EINVAL || tcgetattr(fd, &held) != 0) {
    errno = error;
    return false;
  }
  const tcflag_t parity = PARENB;
  const bool same =
      held.c_iflag == wanted.c_iflag && held.c_oflag == wanted.c_oflag &&
      held.c_lflag == wanted.c_lflag && (held.c_cflag & ~parity) == (wanted.c_cflag & ~parity) &&
      cfgetispeed(&held) == cfgetispeed(&wanted) && cfgetospeed(&held) == cfgetospeed(&wanted) &&
      held.c_cc[VMIN] == wanted.c_cc[VMIN] && held.c_cc[VTIME] == wanted.c_cc[VTIME];
  errno = error;
  return same;
}

}  // namespace

bool SpeedConstant(uint32_t bits_per_second, speed_t* out) {
  for (const Rate& rate : kRates) {
    if (rate.bits_per_second == bits_per_second) {
      *out = rate.constant;
      return true;
    }
  }
  return false;
}

PosixSerial::~PosixSerial() {
  close(fd_);
}

bool PosixSerial::ApplyLineSettings() {
  if (gone_) return false;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return false;
  MakeRawOddParity(&t);
  speed_t speed = B9600;
  SpeedConstant(kLineSpeed, &speed);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return SetAttributes(fd_, TCSANOW, t);
}

bool PosixSerial::SetSpeed(uint32_t bits_per_second) {
  speed_t speed{};
  if (gone_ || !SpeedConstant(bits_per_second, &speed)) return false;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return false;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  // TCSADRAIN: what is queued still leaves at the old speed.
  return SetAttributes(fd_, TCSADRAIN, t);
}

bool PosixSerial::SetModemLine(int line, bool on) {
  if (gone_) return false;
  int bits = line;
  if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
  // A pseudo-terminal has no modem lines: nothing to raise, nothing wrong.
  return errno == ENOTTY || errno == EINVAL;
}

bool PosixSerial::SetDtr(bool on) {
  return SetModemLine(TIOCM_DTR, on);
}
bool PosixSerial::SetRts(bool on) {
  return SetModemLine(TIOCM_RTS, on);
}

void PosixSerial::Purge(bool output, bool input) {
  if (gone_ || (!output && !input)) return;
  tcflush(fd_, output && input ? TCIOFLUSH : (output ? TCOFLUSH : TCIFLUSH));
}

bool PosixSerial::HungUp(short revents) {
  if ((revents & kDeadEvents) != 0) gone_ = true;
  return gone_;
}

int32_t PosixSerial::Queued(unsigned long request) {
  if (gone_) return -1;
  int count = 0;
  if (ioctl(fd_, request, &count) != 0) {
    if (errno == EIO) gone_ = true;
    return -1;
  }
  return std::max(count, 0);
}

int32_t PosixSerial::InputQueued() {
  const int32_t count = Queued(TIOCINQ);
  if (count != 0) return count;
  // Nothing queued: notice a hang-up now rather than at the next wait.
  pollfd p{fd_, 0, 0};
  if (poll(&p, 1, 0) > 0 && HungUp(p.revents)) return -1;
  return 0;
}

int32_t PosixSerial::OutputQueued() {
  return Queued(TIOCOUTQ);
}

int32_t PosixSerial::Read(uint8_t* dst, uint32_t max) {
  if (gone_) return -1;
  if (max == 0) return 0;
  const ssize_t n = read(fd_, dst, std::min(max, kMaxTransfer));
  if (n > 0) return static_cast<int32_t>(n);
  if (n == 0 || errno == EIO) {  // end of file on a terminal: it hung up
    gone_ = true;
    return -1;
  }
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

int32_t PosixSerial::Write(const uint8_t* src, uint32_t count) {
  if (gone_) return -1;
  if (count == 0) return 0;
  const ssize_t n = write(fd_, src, std::min(count, kMaxTransfer));
  if (n >= 0) return static_cast<int32_t>(n);
  if (errno == EIO) {
    gone_ = true;
    return -1;
  }
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

WaitResult PosixSerial::WaitFor(short events, uint32_t ms) {
  if (gone_) return WaitResult::kGone;
  const uint64_t deadline = MonotonicMs() + ms;
  for (;;) {
    const uint64_t now = MonotonicMs();
    const uint64_t left = now < deadline ? deadline - now : 0;
    pollfd p{fd_, events, 0};
    const int n = poll(&p, 1, static_cast<int>(std::min<uint64_t>(left, INT32_MAX)));
    if (n > 0) return HungUp(p.revents) ? WaitResult::kGone : WaitResult::kReady;
    if (n == 0 && MonotonicMs() >= deadline) return WaitResult::kTimeout;
    if (n == 0) continue;                             // a limit beyond what one poll can take
    if (errno != EINTR) return WaitResult::kTimeout;  // nothing to wait on: let the caller retry
  }
}

WaitResult PosixSerial::WaitReadable(uint32_t ms) {
  return WaitFor(POLLIN, ms);
}
WaitResult PosixSerial::WaitWritable(uint32_t ms) {
  return WaitFor(POLLOUT, ms);
}

WaitResult PosixSerial::WaitDrained(uint32_t ms) {
  // tcdrain would block without a limit; check the queue and nap instead.
  const uint64_t deadline = MonotonicMs() + ms;
  for (;;) {
    const int32_t queued = OutputQueued();
    if (queued < 0) return gone_ ? WaitResult::kGone : WaitResult::kTimeout;
    if (queued == 0) return WaitResult::kReady;
    const uint64_t now = MonotonicMs();
    if (now >= deadline) return WaitResult::kTimeout;
    // No events asked for: poll only wakes early for a hang-up.
    pollfd p{fd_, 0, 0};
    const uint64_t nap = std::min<uint64_t>(deadline - now, kDrainStepMs);
    if (poll(&p, 1, static_cast<int>(nap)) > 0 && HungUp(p.revents)) return WaitResult::kGone;
  }
}

}  // namespace platform::detail
