// Runs a fuzz target without libFuzzer: first every file named on the command
// line, then --runs=N inputs from a fixed-seed generator (default 10000), so a
// failure is repeatable. Inputs mix random bytes with runs of a few "interesting"
// values, which reach deeper into frame and text parsers than noise alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long runs = 10000;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0) {
      runs = std::strtol(argv[i] + 7, nullptr, 10);
      continue;
    }
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  static const uint8_t kInteresting[] = {0x00, 0x96, 0x81, 0x82, 0x05, 0x06, 0x16, 0xFF,
                                         0x08, 0x10, '\n', '\r', ' ', '=', '[', ']', ';', ':'};
  std::mt19937 gen(12345);
  std::vector<uint8_t> input;
  for (long run = 0; run < runs; ++run) {
    size_t size = gen() % (run % 16 == 0 ? 70000 : 4200);
    input.resize(size);
    for (size_t i = 0; i < size; ++i) {
      uint32_t r = gen();
      input[i] = (r & 3) ? kInteresting[(r >> 8) % sizeof(kInteresting)] : static_cast<uint8_t>(r >> 16);
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%ld inputs run\n", runs);
  return 0;
}
