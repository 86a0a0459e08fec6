// Small update kits written by the tests: a ROM image (plain or scrambled)
// and a loader map, in a temporary folder; and a capture of the trace output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tpxtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Addresses the map gives; the routines lie inside the first 64 KB.
struct KitLayout {
  uint32_t tune_rate = 0x1000, prog_flash = 0x1100, prog64k = 0x1200, setbank = 0x1300,
           chksum = 0x1400, unlock = 0x1500, refmt_dbank = 0x2000, jreprog = 0x1234,
           reprog = 0x1240;
};

struct Scrambling {
  bool on = false;
  uint8_t rotate = 3;
  uint8_t key = 0x5A;
};

// Pseudo-random bytes of `length`, with two zero bytes at `jreprog`.
std::vector<uint8_t> MakeImage(size_t length, uint32_t jreprog, uint32_t seed = 1);
uint8_t ScrambleByte(uint8_t plain, const Scrambling& s);
// The file: the image (scrambled if asked) and the trailer, or `tail` plain bytes.
void WriteRom(const std::string& path, const std::vector<uint8_t>& image, const Scrambling& s,
              const std::vector<uint8_t>& tail = {});
std::string MapText(const KitLayout& layout);
void WriteText(const std::string& path, const std::string& text);
uint16_t Sum16(const std::vector<uint8_t>& bytes, size_t count);

// Points VQ3_TRACE at a file of its own for its lifetime.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  std::vector<std::string> Lines() const;  // each text without its line feed
  std::string Text() const;

 private:
  TempDir dir_;
  std::string file_;
};

}  // namespace tpxtest
