// orgsim: plays the organizer on a pseudo-terminal until interrupted, or
// writes a sample update kit.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "orgsim/orgsim.h"

namespace {

constexpr char kUsage[] =
    "usage: orgsim [--link COMn] [--loader] [--busy N] [--banks N] [--pace]\n"
    "              [--model TEXT] [--system1 TEXT] [--system2 TEXT] [--extra TEXT]...\n"
    "              [--silence-from N] [--corrupt-frame N] [--write-status N:K]\n"
    "              [--no-syn] [--hangup-at N] [--summary FILE] [--flash FILE]\n"
    "       orgsim kit --out DIR [--kb N] [--scrambled]\n";

int Fail(const std::string& text) {
  std::fprintf(stderr, "orgsim: %s\n", text.c_str());
  return 2;
}

bool Number(const char* text, uint32_t* value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long n = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || n > 0xFFFFFFFFul) return false;
  *value = static_cast<uint32_t>(n);
  return true;
}

int RunKit(int argc, char** argv) {
  std::string out;
  uint32_t kb = 72;
  bool scrambled = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (arg == "--kb" && i + 1 < argc) {
      if (!Number(argv[++i], &kb)) return Fail(std::string("--kb: not a number: ") + argv[i]);
    } else if (arg == "--scrambled") {
      scrambled = true;
    } else {
      return Fail("kit: unknown argument " + arg + "\n" + kUsage);
    }
  }
  if (out.empty()) return Fail(std::string("kit: --out DIR is required\n") + kUsage);
  std::string error;
  const auto kit = orgsim::WriteKit(out, kb, scrambled, &error);
  if (!kit) return Fail(error);
  std::printf("%s\n%s\n%s\n", kit->rom_path.c_str(), kit->map_path.c_str(), kit->ini_path.c_str());
  return 0;
}

struct Options {
  orgsim::Config config;
  std::string link, summary_path, flash_path;
};

// One option with its value at argv[i]; false with `error` set when bad.
bool TakeOption(int argc, char** argv, int& i, Options& o, std::string* error) {
  const std::string arg = argv[i];
  auto& f = o.config.faults;
  const bool has_value = i + 1 < argc;
  const char* value = has_value ? argv[i + 1] : "";
  auto number = [&](uint32_t* target) {
    if (!has_value || !Number(value, target)) {
      *error = arg + ": needs a number";
      return false;
    }
    ++i;
    return true;
  };
  auto text = [&](std::string* target) {
    if (!has_value) {
      *error = arg + ": needs a value";
      return false;
    }
    *target = value;
    ++i;
    return true;
  };
  if (arg == "--loader") return o.config.start_in_loader = true;
  if (arg == "--pace") return o.config.pacing = true;
  if (arg == "--no-syn") return f.never_syn = true;
  if (arg == "--link") return text(&o.link);
  if (arg == "--summary") return text(&o.summary_path);
  if (arg == "--flash") return text(&o.flash_path);
  if (arg == "--model") return text(&o.config.model_name);
  if (arg == "--system1") return text(&o.config.system_line1);
  if (arg == "--system2") return text(&o.config.system_line2);
  if (arg == "--busy") return number(&o.config.busy_replies);
  if (arg == "--banks") return number(&o.config.flash_banks);
  if (arg == "--silence-from") return number(&f.silence_from_packet);
  if (arg == "--corrupt-frame") return number(&f.corrupt_sent_frame);
  if (arg == "--hangup-at") return number(&f.hangup_at_packet);
  if (arg == "--extra") {
    std::string line;
    if (!text(&line)) return false;
    o.config.extra_lines.push_back(line);
    return true;
  }
  if (arg == "--write-status") {
    unsigned n = 0, k = 0;
    char tail = 0;
    if (!has_value || std::sscanf(value, "%u:%u%c", &n, &k, &tail) != 2 || k > 255) {
      *error = "--write-status: needs N:K, K from 0 to 255";
      return false;
    }
    f.write_status_at = n;
    f.write_status = static_cast<uint8_t>(k);
    ++i;
    return true;
  }
  *error = "unknown argument " + arg + "\n" + kUsage;
  return false;
}

void WaitForEnd(const orgsim::Simulator& simulator, const sigset_t& signals) {
  const timespec slice{0, 200 * 1000 * 1000};
  while (!simulator.Finished()) {
    if (sigtimedwait(&signals, nullptr, &slice) > 0) return;
  }
}

bool WriteOut(const std::string& path, const void* data, size_t size) {
  if (path.empty() || path == "-") return std::fwrite(data, 1, size, stdout) == size;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(file);
}

int RunSimulator(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string error;
    if (!TakeOption(argc, argv, i, options, &error)) return Fail(error);
  }
  if (options.config.flash_banks < 8 || options.config.flash_banks > 512) {
    return Fail("--banks: from 8 to 512 banks of 8 KB");
  }
  // The serving thread inherits the mask: only this thread takes the signals.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  orgsim::Simulator simulator(options.config);
  std::string error;
  if (!simulator.Start(&error)) return Fail(error);
  if (!options.link.empty() && !simulator.LinkAs(options.link, &error)) return Fail(error);
  std::printf("%s\n", simulator.SlavePath().c_str());
  std::fflush(stdout);
  WaitForEnd(simulator, signals);
  simulator.Stop();
  const std::string json = simulator.GetSummary().ToJson();
  if (!WriteOut(options.summary_path, json.data(), json.size())) {
    return Fail("cannot write the summary to " + options.summary_path);
  }
  if (!options.flash_path.empty()) {
    const auto flash = simulator.Flash();
    if (!WriteOut(options.flash_path, flash.data(), flash.size())) {
      return Fail("cannot write the flash dump to " + options.flash_path);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "kit") == 0) return RunKit(argc, argv);
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return RunSimulator(argc, argv);
}
