// Runs a full update of a 512 KB kit through libTPXCmd.so and libZEPComm.so
// against orgsim paced at the line speed (38400 bps once tuned) and prints:
// wall time, the protocol's floor for the same run (every byte orgsim saw at
// 11 bits a byte, plus one 50 ms pause a packet), their ratio, and the
// processor time of the host's thread. Goal: ratio <= 1.03, host CPU < 2%.
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "orgsim/orgsim.h"
#include "platform/windows.h"
#include "tests/cmdlib/tpxcmd_library.h"

namespace {

constexpr uint32_t kKitKb = 512;
constexpr int32_t kTransferBaud = 38400;
constexpr char kPortName[] = "COM9";

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "bench_cmdlib_full_update: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "tpxcmd-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return Fail("cannot make a temporary folder");
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  const tpxtest::TpxCmdLibrary* lib = tpxtest::LoadTpxCmd();
  if (lib == nullptr) return Fail("cannot load libTPXCmd.so");

  std::string error;
  std::optional<orgsim::Kit> kit = orgsim::WriteKit(folder + "/kit", kKitKb, false, &error);
  if (!kit) return Fail("kit: " + error);
  orgsim::Config config;
  config.pacing = true;
  orgsim::Simulator sim(config);
  if (!sim.Start(&error) || !sim.LinkAs(kPortName, &error)) return Fail("orgsim: " + error);

  uint32_t posts = 0;
  const uint32_t progress = platform::RegisterMessage("WM_USER_TepixProgress");
  platform::WindowId window = platform::CreateWindow(
      [&posts, progress](platform::WindowId, uint32_t msg, uintptr_t, intptr_t) {
        if (msg == progress) ++posts;
      });
  if (lib->Init(window) != 1) return Fail("TPXInit failed");
  lib->UseWM(1);
  lib->SetSpeed(9600);

  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = ThreadCpuSeconds();
  if (lib->Open(kPortName) != 1) return Fail("TPXOpen failed");
  if (lib->ReceiveStart() != 1) return Fail("no opening message");
  uint8_t result =
      lib->WsysPatchSendVQ3(kit->rom_path.c_str(), kit->map_path.c_str(), kTransferBaud, 1);
  lib->Close();
  const double cpu = ThreadCpuSeconds() - cpu_start;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  platform::Pump();

  orgsim::Counters counters = sim.GetCounters();
  sim.Stop();
  std::filesystem::remove_all(folder);
  const double floor = counters.FloorSeconds();
  std::printf("full update of a %u KB kit at %d bps: result %u, %u progress posts\n", kKitKb,
              kTransferBaud, result, posts);
  std::printf("line: %llu bytes to host, %llu from host, %llu packets, wire time %.3f s\n",
              static_cast<unsigned long long>(counters.bytes_to_host),
              static_cast<unsigned long long>(counters.bytes_from_host),
              static_cast<unsigned long long>(counters.pauses), counters.wire_seconds);
  std::printf("wall time      %9.3f s\n", wall);
  std::printf("protocol floor %9.3f s\n", floor);
  std::printf("ratio          %9.4f   (goal <= 1.03)\n", wall / floor);
  std::printf("host CPU       %9.3f s = %.2f%% of wall   (goal < 2%%)\n", cpu, 100.0 * cpu / wall);
  return result == 1 ? 0 : 1;
}
