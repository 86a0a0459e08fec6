#include "tests/cmdlib/recording_link.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "cmdlib/library_state.h"

namespace tpxtest {
namespace {

std::unique_ptr<RecordingLink> current;

std::string Args(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : ", ") + part;
  return out;
}

void Log(const std::string& name, std::initializer_list<std::string> parts) {
  Fake().calls.push_back(name + "(" + Args(parts) + ")");
}

std::string N(int64_t v) {
  return std::to_string(v);
}

// Long packets (image blocks) are logged by size only; the data stays in `packets`.
std::string Data(const void* data, size_t count) {
  if (count > 32) return "[" + N(static_cast<int64_t>(count)) + " bytes]";
  return Hex(data, count);
}

int32_t Receive(const char* name, uint32_t w, int32_t p, void* dst, int32_t cap, int32_t* n,
                uint32_t t, uint32_t r) {
  Log(name, {N(w), N(p), "area", N(cap), "&n", N(t), N(r)});
  RecordingLink& f = Fake();
  if (f.on_receive) f.on_receive();
  Reply reply;
  if (!f.replies.empty()) {
    reply = f.replies.front();
    f.replies.pop_front();
  } else {
    reply = f.default_reply(cap);
  }
  *n = 0;
  if (reply.result == 0) return 0;
  if (reply.bytes.size() > static_cast<size_t>(cap)) return 0;  // as the link does
  if (!reply.bytes.empty()) std::memcpy(dst, reply.bytes.data(), reply.bytes.size());
  *n = static_cast<int32_t>(reply.bytes.size());
  return reply.result;
}

extern "C" {
int32_t FakeSendZep(uint32_t w, int32_t p, const void* d, int32_t len, uint32_t t, uint32_t r) {
  Log("SendZep", {N(w), N(p), Data(d, static_cast<size_t>(len)), N(len), N(t), N(r)});
  RecordingLink& f = Fake();
  if (f.send_results.empty()) return 1;
  int32_t result = f.send_results.front();
  f.send_results.pop_front();
  return result;
}
int32_t FakeReceiveZep(uint32_t w, int32_t p, void* d, int32_t c, int32_t* n, uint32_t t,
                       uint32_t r) {
  return Receive("ReceiveZep", w, p, d, c, n, t, r);
}
int32_t FakeReceiveZepRapid(uint32_t w, int32_t p, void* d, int32_t c, int32_t* n, uint32_t t,
                            uint32_t r) {
  return Receive("ReceiveZepRapid", w, p, d, c, n, t, r);
}
int32_t FakeReceiveZep1Packet(uint32_t, int32_t, void*, uint16_t*, uint16_t*) {
  Log("ReceiveZep1Packet", {});
  return 0;
}
int32_t FakeOpenZep(int32_t n) {
  Log("OpenZep", {N(n)});
  return -1;
}
int32_t FakeOpenZepByName(const char* name) {
  Log("OpenZepByName", {name});
  return Fake().open_result;
}
int32_t FakeCloseZep(int32_t p) {
  Log("CloseZep", {N(p)});
  return 1;
}
void FakeFlushZep(int32_t p) {
  Log("FlushZep", {N(p)});
}
int32_t FakeZEPSetSpeed(int32_t p, uint32_t bps) {
  Log("ZEPSetSpeed", {N(p), N(bps)});
  return 1;
}
int32_t FakeSendZep1Packet(uint32_t w, int32_t p, const void* d, uint16_t len, uint16_t block) {
  char b[8];
  std::snprintf(b, sizeof b, "%04X", block);
  Log("SendZep1Packet", {N(w), N(p), Data(d, len), N(len), b});
  RecordingLink& f = Fake();
  const uint8_t* bytes = static_cast<const uint8_t*>(d);
  f.packets.emplace_back(bytes, bytes + len);
  return f.on_packet ? f.on_packet(f.packets.size() - 1, f.packets.back()) : 1;
}
void FakeClearErrorStatus() {
  Log("ClearErrorStatus", {});
  Fake().error_status = 0;
}
int32_t FakeSetErrorStatus(int32_t s) {
  Log("SetErrorStatus", {N(s)});
  return Fake().error_status = s;
}
int32_t FakeGetErrorStatus() {
  Log("GetErrorStatus", {});
  return Fake().error_status;
}
int32_t FakeSetMessageID(int32_t id) {
  Log("SetMessageID", {N(id)});
  return id;
}
int32_t FakeGetMessageID() {
  Log("GetMessageID", {});
  return 0;
}
int32_t FakeOutputMessage(uint32_t w) {
  Log("OutputMessage", {N(w)});
  return 0;
}
int32_t FakeZEPUserCancel(int32_t flag) {
  Log("ZEPUserCancel", {N(flag)});
  return flag & 0xFF;
}
}  // extern "C"

const std::map<std::string, void*>& Table() {
  static const std::map<std::string, void*> table = {
      {"SendZep", reinterpret_cast<void*>(&FakeSendZep)},
      {"ReceiveZep", reinterpret_cast<void*>(&FakeReceiveZep)},
      {"ReceiveZepRapid", reinterpret_cast<void*>(&FakeReceiveZepRapid)},
      {"ReceiveZep1Packet", reinterpret_cast<void*>(&FakeReceiveZep1Packet)},
      {"OpenZep", reinterpret_cast<void*>(&FakeOpenZep)},
      {"OpenZepByName", reinterpret_cast<void*>(&FakeOpenZepByName)},
      {"CloseZep", reinterpret_cast<void*>(&FakeCloseZep)},
      {"FlushZep", reinterpret_cast<void*>(&FakeFlushZep)},
      {"ZEPSetSpeed", reinterpret_cast<void*>(&FakeZEPSetSpeed)},
      {"SendZep1Packet", reinterpret_cast<void*>(&FakeSendZep1Packet)},
      {"ClearErrorStatus", reinterpret_cast<void*>(&FakeClearErrorStatus)},
      {"SetErrorStatus", reinterpret_cast<void*>(&FakeSetErrorStatus)},
      {"GetErrorStatus", reinterpret_cast<void*>(&FakeGetErrorStatus)},
      {"SetMessageID", reinterpret_cast<void*>(&FakeSetMessageID)},
      {"GetMessageID", reinterpret_cast<void*>(&FakeGetMessageID)},
      {"OutputMessage", reinterpret_cast<void*>(&FakeOutputMessage)},
      {"ZEPUserCancel", reinterpret_cast<void*>(&FakeZEPUserCancel)},
  };
  return table;
}

}  // namespace

RecordingLink& Fake() {
  if (!current) current = std::make_unique<RecordingLink>();
  return *current;
}

void ResetFake() {
  tpx::ResetLibraryState();
  current = std::make_unique<RecordingLink>();
}

tpx::SymbolResolver RecordingLink::Resolver() {
  return [this](const char* name) -> void* {
    resolved.push_back(name);
    if (missing.count(name) != 0) return nullptr;
    auto it = Table().find(name);
    return it == Table().end() ? nullptr : it->second;
  };
}

uint8_t RecordingLink::Init(uint32_t window) {
  static int module_token = 0;  // any non-null module will do
  return tpx::Init(window, &module_token, Resolver());
}

void RecordingLink::OpenPort() {
  tpx::Connection()->Open("COM1");
  calls.clear();
}

std::string Hex(const void* data, size_t count) {
  std::string out;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  char b[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(b, sizeof b, "%02X", bytes[i]);
    out += (i == 0 ? "" : " ") + std::string(b);
  }
  return out;
}

std::string HexText(const char* text_with_zero, size_t count) {
  return Hex(text_with_zero, count);
}

}  // namespace tpxtest
