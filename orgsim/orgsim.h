// orgsim: a simulated organizer on a pseudo-terminal, used in-process by the
// tests and benchmarks, and by the `orgsim` program.
//
// The simulator plays the organizer's side of the link (its own frame code,
// written apart from the link library), its normal link mode (opening
// message, system commands, device-information block) and its reprogramming
// loader (ready queries, read / write / call requests, RAM banks, NOR flash),
// with faults on demand.
//
// Threads: Start() makes the pseudo-terminal and one thread that serves it;
// no call ever blocks on the line, so a test may run the host on its own
// thread meanwhile. GetSummary(), GetCounters() and Flash() may be called at
// any time from any thread and return copies. Stop() ends the thread and closes
// the pseudo-terminal; the destructor calls it.
//
// Build: in-process users link the static library target `orgsim_core`.
//
// Ownership: everything is returned by value. The simulator never reopens
// the slave side: the host owns it once it opened it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orgsim {

#define ORGSIM_API __attribute__((visibility("default")))

// Faults on demand. Packet numbers count the data packets the organizer
// receives from the host, from 1 since Start(); 0 switches a fault off.
struct Faults {
  // When the ENQ of this packet arrives the organizer falls silent for good:
  // no SYN for it, nothing after it. With 1 it says nothing at all, not even
  // its opening message.
  uint32_t silence_from_packet = 0;
  // The Nth data frame the organizer sends (from 1; with an opening message,
  // that is frame 1) carries a checksum one too high. Its repeat is sound.
  uint32_t corrupt_sent_frame = 0;
  // The Nth write request (from 1) is answered with `write_status` and not done.
  uint32_t write_status_at = 0;
  uint8_t write_status = 0x01;
  // Every ENQ is answered with ACK instead of SYN.
  bool never_syn = false;
  // When the ENQ of this packet arrives the organizer hangs up: it closes its
  // end of the pseudo-terminal and serves no more.
  uint32_t hangup_at_packet = 0;
};

struct Config {
  // The device-information block: model name, two system lines, more lines,
  // each ended by CR LF. Extra lines may make it far larger than a packet.
  std::string model_name = "TR-150";
  std::string system_line1 = "SYSTEM V1.00";
  std::string system_line2 = "1999/04/01";
  std::vector<std::string> extra_lines = {"RAM 2048KB", "LANG EN"};
  // The short message sent when the host opens the port.
  std::string opening_message = "WSYS LINK";
  // Start in the loader, as an organizer whose update was interrupted.
  bool start_in_loader = false;
  // Ready queries answered with `busy_value` this many times before 0.
  uint32_t busy_replies = 0;
  uint8_t busy_value = 0x01;
  // Flash size in 8 KB banks (64 = 512 KB); taken as 8 to 512.
  uint32_t flash_banks = 64;
  // Flash contents at power-on; empty = an old system pattern. Longer
  // contents are cut, shorter ones padded with 0xFF.
  std::vector<uint8_t> initial_flash;
  // Pace both directions at the current line speed, 11 bits a byte.
  bool pacing = false;
  Faults faults;
};

// Line traffic, for the protocol's floor: every byte and packet each way,
// the organizer's 50 ms pauses, and the seconds the bytes need at 11 bits a
// byte at the speed each went at.
struct Counters {
  uint64_t bytes_to_host = 0, bytes_from_host = 0;
  uint64_t packets_to_host = 0, packets_from_host = 0;  // acknowledged data packets
  uint64_t pauses = 0;                                  // 50 ms pauses after an ACK
  double wire_seconds = 0;  // both directions, 11 bits a byte at the speed in force

  // Wire time plus one 50 ms pause per packet.
  double FloorSeconds() const { return wire_seconds + 0.05 * static_cast<double>(pauses); }
};

// What the organizer saw.
struct Summary {
  std::string mode;  // "normal", "loader" or "hung up"
  uint32_t host_opens = 0;
  // System commands by kind and loader requests by operation.
  uint32_t opening_messages = 0;  // delivered (acknowledged by the host)
  uint32_t resets = 0, quits = 0, qim_all = 0, set_baud = 0, patch_send = 0;
  uint32_t unknown_commands = 0;
  uint32_t ready_queries = 0, reads = 0, writes = 0, calls = 0;
  uint32_t refused_requests = 0;             // requests answered with a non-zero status
  std::vector<uint32_t> speeds;              // the organizer's line speed, each change in order
  std::vector<std::string> routines_called;  // "RemoteUnlock", ... in call order
  std::vector<std::string> faults_fired;     // "silence from packet 12", ...
  bool unlocked = false;
  // The last checksum call: "none", "pass" or "fail", with both values.
  std::string checksum_result = "none";
  uint16_t checksum_expected = 0, checksum_computed = 0;
  bool databank_formatted = false;
  uint32_t flash_banks_programmed = 0;  // distinct banks erased this run
  // The system lines the organizer reports: after a format, the new image's.
  std::string system_line1, system_line2;
  // Speeds seen on the host's side of the pseudo-terminal that did not match
  // the organizer's: bytes lost as a real line would garble them.
  uint32_t bytes_lost_to_speed_mismatch = 0;
  Counters traffic;  // as GetCounters() at the same moment

  std::string ToJson() const;
};

class SimulatorImpl;

class ORGSIM_API Simulator {
 public:
  explicit Simulator(Config config = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Makes the pseudo-terminal (the slave raw, 9600 bps) and starts serving
  // it. False with `error` set when the pair cannot be made.
  bool Start(std::string* error = nullptr);
  // The slave's path, e.g. "/dev/pts/7"; empty before Start().
  std::string SlavePath() const;
  // Makes $XDG_CONFIG_HOME/vq3upd/ports/<name> (default ~/.config/...) a
  // symbolic link to the slave, replacing an older link of that name; COMn
  // in any letter case is linked as the host looks it up ("com7" -> COM7).
  bool LinkAs(const std::string& port_name, std::string* error = nullptr);
  // Ends the thread, closes the pseudo-terminal and removes the link it made.
  void Stop();
  // True once the organizer hung up (a fault) or was stopped.
  bool Finished() const;

  Summary GetSummary() const;
  Counters GetCounters() const;
  // The whole flash, flash_banks x 8 KB.
  std::vector<uint8_t> Flash() const;

 private:
  std::unique_ptr<SimulatorImpl> impl_;
};

// A sample update kit.
struct Kit {
  std::string rom_path, map_path, ini_path;
  // The image as the organizer's flash should hold it after a full update
  // (two zero bytes at _JREPROG), without a scrambling trailer.
  std::vector<uint8_t> image;
  uint32_t jreprog = 0, reprog = 0, refmtdbank = 0;  // the map's addresses
  // The system lines the organizer reports once it runs the new image.
  std::string new_system_line1, new_system_line2;
};

// Writes ROM image, loader map and VQ3UPD.ini into `dir` (made if missing).
// `kb` is the image size in kilobytes: a multiple of 8 from 64 to 4096.
// Files are written whole or not at all. Nothing, with `error` set, on failure.
ORGSIM_API std::optional<Kit> WriteKit(const std::string& dir, uint32_t kb, bool scrambled,
                                       std::string* error = nullptr);

}  // namespace orgsim
