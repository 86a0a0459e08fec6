// How long the sample kit takes to write: 72 KB and 512 KB, plain and
// scrambled, each the best of five runs into a fresh temporary folder.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "orgsim/orgsim.h"

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("orgsim-kit-bench-" + std::to_string(getpid()));
  for (uint32_t kb : {72u, 512u}) {
    for (bool scrambled : {false, true}) {
      double best = 1e9;
      for (int run = 0; run < 5; ++run) {
        fs::remove_all(dir);
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        if (!orgsim::WriteKit(dir.string(), kb, scrambled, &error)) {
          std::fprintf(stderr, "kit: %s\n", error.c_str());
          return 1;
        }
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
      }
      std::printf("kit %4u KB %-9s %8.2f ms\n", kb, scrambled ? "scrambled" : "plain", best);
    }
  }
  fs::remove_all(dir);
  return 0;
}
