#include "tests/cmdlib/kit_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tpxtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tpxcmd-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> MakeImage(size_t length, uint32_t jreprog, uint32_t seed) {
  std::vector<uint8_t> image(length);
  uint32_t x = seed * 2654435761u + 12345u;
  for (uint8_t& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  if (jreprog + 1 < length) image[jreprog] = image[jreprog + 1] = 0;
  return image;
}

uint8_t ScrambleByte(uint8_t plain, const Scrambling& s) {
  unsigned n = s.rotate % 8u;
  uint8_t rotated = static_cast<uint8_t>(((plain << n) | (plain >> ((8u - n) % 8u))) & 0xFF);
  return static_cast<uint8_t>(rotated ^ s.key);
}

void WriteRom(const std::string& path, const std::vector<uint8_t>& image, const Scrambling& s,
              const std::vector<uint8_t>& tail) {
  std::vector<uint8_t> bytes = image;
  if (s.on) {
    for (uint8_t& b : bytes) b = ScrambleByte(b, s);
    bytes.push_back(s.rotate);
    bytes.push_back(s.key);
  }
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string MapText(const KitLayout& l) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "Loader map\r\n"
                "Name              Address\r\n"
                "RemoteTuneRate    %08X\r\n"
                "RemoteProgFlash   %08X\r\n"
                "RemoteProg64k     %08X\r\n"
                "RemoteSetbank     %08X\r\n"
                "RemoteChkSum      %08X\r\n"
                "RemoteUnlock      %08X\r\n"
                "ReFmtDBank        %08X\r\n"
                "_JREPROG          %08X\r\n"
                "REPROG            %08X\r\n",
                l.tune_rate, l.prog_flash, l.prog64k, l.setbank, l.chksum, l.unlock, l.refmt_dbank,
                l.jreprog, l.reprog);
  return text;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

uint16_t Sum16(const std::vector<uint8_t>& bytes, size_t count) {
  uint16_t sum = 0;
  for (size_t i = 0; i < count && i < bytes.size(); ++i)
    sum = static_cast<uint16_t>(sum + bytes[i]);
  return sum;
}

TraceCapture::TraceCapture() : file_(dir_.File("trace.txt")) {
  setenv("VQ3_TRACE", file_.c_str(), 1);
}

TraceCapture::~TraceCapture() {
  unsetenv("VQ3_TRACE");
}

std::string TraceCapture::Text() const {
  std::ifstream in(file_, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> TraceCapture::Lines() const {
  std::vector<std::string> lines;
  std::stringstream s(Text());
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

}  // namespace tpxtest
