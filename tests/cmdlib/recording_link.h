// A recording fake of the link library: plain in-process functions with the
// link library's signatures, bound through the core's resolver. Every call is
// logged as text, in order; replies and results are scripted.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "cmdlib/command_connection.h"

namespace tpxtest {

constexpr uint32_t kWindow = 7;  // owner window handed to Init
constexpr int32_t kPort = 5;     // handle OpenZepByName gives

struct Reply {
  int32_t result = 1;
  std::vector<uint8_t> bytes;
};

struct RecordingLink {
  std::vector<std::string> calls;
  std::vector<std::vector<uint8_t>> packets;  // SendZep1Packet data, in order
  std::set<std::string> missing;              // names the resolver does not know
  std::vector<std::string> resolved;          // names asked for, in order

  int32_t open_result = kPort;
  int32_t error_status = 0;
  std::deque<int32_t> send_results;  // SendZep; 1 once used up
  std::deque<Reply> replies;         // ReceiveZep and ReceiveZepRapid, then the default
  // Default reply when none is scripted: the loader's status 0, or zeros for a read.
  std::function<Reply(int32_t capacity)> default_reply = [](int32_t capacity) {
    return Reply{1, std::vector<uint8_t>(static_cast<size_t>(capacity), 0)};
  };
  // Result of each SendZep1Packet (0-based packet index); delivered by default.
  std::function<int32_t(size_t index, const std::vector<uint8_t>& data)> on_packet;
  // Each busy reply may let (virtual) time pass.
  std::function<void()> on_receive;

  tpx::SymbolResolver Resolver();
  // Installs this fake as the current connection's link library.
  uint8_t Init(uint32_t window = kWindow);
  // Opens kPort through the fake, then forgets the calls that took.
  void OpenPort();
};

RecordingLink& Fake();
// A fresh fake and a fresh library state.
void ResetFake();

// "57 53 00" for the bytes given.
std::string Hex(const void* data, size_t count);
std::string HexText(const char* text_with_zero, size_t count);

}  // namespace tpxtest
