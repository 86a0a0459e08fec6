// Paced line against the protocol's floor: the link library as host writes
// 1 KB blocks to a paced loader at 9600 and at 38400 bps, as the engine's
// staging does, and compares the wall time with what the organizer counted
// (wire bytes at 11 bits a byte plus one 50 ms pause per packet). A paced
// simulator should come out just above 1.0: never faster than a real line.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "linklib/linklib_exports.h"
#include "orgsim/orgsim.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Request(uint8_t op, uint16_t p1, uint16_t p2, uint16_t entry = 0) {
  return {op,
          0,
          static_cast<uint8_t>(p1),
          static_cast<uint8_t>(p1 >> 8),
          static_cast<uint8_t>(p2),
          static_cast<uint8_t>(p2 >> 8),
          0,
          0,
          0,
          0,
          static_cast<uint8_t>(entry),
          static_cast<uint8_t>(entry >> 8)};
}

bool Exchange(int32_t port, const Bytes& request, const Bytes& data) {
  if (!SendZep1Packet(0, port, request.data(), static_cast<uint16_t>(request.size()), 0xFFFF)) {
    return false;
  }
  if (!data.empty() &&
      !SendZep1Packet(0, port, data.data(), static_cast<uint16_t>(data.size()), 0xFFFF)) {
    return false;
  }
  uint8_t status = 0xFF;
  int32_t length = 0;
  return ReceiveZep(0, port, &status, 1, &length, 10000, 0) && length == 1 && status == 0;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Run(uint32_t speed, int blocks, const std::string& kit_dir) {
  const auto kit = orgsim::WriteKit(kit_dir, 64, false);
  if (!kit) return 1;
  orgsim::Config config;
  config.start_in_loader = true;
  config.pacing = true;
  orgsim::Simulator sim(config);
  std::string error;
  if (!sim.Start(&error) || !sim.LinkAs("COM9", &error)) {
    std::fprintf(stderr, "orgsim: %s\n", error.c_str());
    return 1;
  }
  const int32_t port = OpenZepByName("COM9");
  if (port < 0) return 1;
  if (speed != 9600) {  // RemoteTuneRate from the kit, then both ends switch
    const Bytes tune(kit->image.begin() + 0x6000, kit->image.begin() + 0x6000 + 64);
    if (!Exchange(port, Request(4, 0xE300, 64), tune)) return 1;
    const Bytes call = Request(5, static_cast<uint16_t>(153600 / speed), 0, 0xE300);
    SendZep1Packet(0, port, call.data(), 12, 0xFFFF);
    ZEPSetSpeed(port, speed);
    uint8_t status = 0xFF;
    int32_t length = 0;
    if (!ReceiveZep(0, port, &status, 1, &length, 10000, 0) || status != 0) return 1;
  }
  const orgsim::Counters before = sim.GetCounters();
  const double cpu_before = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const Bytes block(1024, 0xA5);
  for (int i = 0; i < blocks; ++i) {
    if (!Exchange(port, Request(4, 0xE400, 1024), block)) {
      std::fprintf(stderr, "block %d failed\n", i);
      return 1;
    }
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  const double cpu = CpuSeconds() - cpu_before;
  const orgsim::Counters after = sim.GetCounters();
  const double floor = after.FloorSeconds() - before.FloorSeconds();
  CloseZep(port);
  sim.Stop();
  std::printf(
      "%5u bps, %3d KB: wall %7.3f s, floor %7.3f s, ratio %.3f, process CPU %.3f s (%.1f%%)\n",
      speed, blocks, wall.count(), floor, wall.count() / floor, cpu, 100.0 * cpu / wall.count());
  return 0;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / ("orgsim-pacing-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  int rc = Run(9600, 8, (home / "kit").string());
  if (rc == 0) rc = Run(38400, 32, (home / "kit").string());
  fs::remove_all(home);
  return rc;
}
