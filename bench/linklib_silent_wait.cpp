// What a wait on a silent line costs: the link library waits 5 s for a frame
// on a pseudo-terminal whose far end says nothing, and the processor time it
// used is printed per second of waiting. Goal: below 0.02.
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "linklib/comm_port.h"
#include "linklib/linklib_exports.h"
#include "linklib/packet.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t wait_ms = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 5000;
  termios raw{};
  cfmakeraw(&raw);
  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  close(slave);
  const int32_t port = OpenZepByName(name);
  if (port == ZEP_INVALID_PORT) {
    std::fprintf(stderr, "cannot open %s\n", name);
    return 1;
  }
  zep::CCommPort context(port, 0);
  uint8_t code = 0;
  const auto wall_start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds();
  const int got = zep::ReceiveControlFrame(context, &code, wait_ms);
  const double cpu = CpuSeconds() - cpu_start;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  CloseZep(port);
  close(master);
  std::printf(
      "silent line wait: %.3f s waited (frame %s), %.4f s CPU, %.5f CPU s per s of waiting (goal < "
      "0.02)\n",
      wall, got ? "received?!" : "none, as expected", cpu, cpu / wall);
  return got || cpu / wall >= 0.02 ? 1 : 0;
}
