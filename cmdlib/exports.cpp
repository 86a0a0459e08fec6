// The fifteen exports of libTPXCmd.so: each one line into the core.
#include <cstdlib>

#include "cmdlib/cmdlib_exports.h"
#include "cmdlib/library_state.h"
#include "cmdlib/repro_engine.h"
#include "cmdlib/system_commands.h"

namespace {

// The progress message is registered as the library is loaded; the
// connection goes (closing an open port) as it is unloaded.
__attribute__((constructor)) void OnLoad() {
  tpx::RegisterProgressMessage();
}
__attribute__((destructor)) void OnUnload() {
  tpx::ResetLibraryState();
}

// The connection when TPXInit bound the link library; a call made against
// the expected order fails instead of jumping through a missing entry point.
tpx::CommandConnection* Bound() {
  tpx::CommandConnection* connection = tpx::Connection();
  return connection != nullptr && connection->Bound() ? connection : nullptr;
}

}  // namespace

extern "C" {

uint8_t TPXInit(uint32_t owner_window) {
  return tpx::InitWithLinkLibrary(owner_window);
}
uint8_t TPXOpen(const char* port_name) {
  return Bound() != nullptr && port_name != nullptr ? Bound()->Open(port_name) : 0;
}
int32_t TPXClose(void) {
  return Bound() != nullptr ? Bound()->Close() : 0;
}
void TPXFreeBuf(void* block) {
  std::free(block);
}
uint8_t TPXReceiveStart(void) {
  return Bound() != nullptr ? tpx::ReceiveStart() : 0;
}
uint8_t TPXWsysReset(void) {
  return Bound() != nullptr ? tpx::WsysReset() : 0;
}
uint8_t TPXWsysQuit(void) {
  return Bound() != nullptr ? tpx::WsysQuit() : 0;
}
uint8_t TPXWsysReceiveQimAll(void** block, uint32_t* length) {
  if (block == nullptr || length == nullptr) return 0;
  *block = nullptr;
  return Bound() != nullptr ? tpx::WsysReceiveQimAll(block, length) : 0;
}
uint8_t TPXWsysSetBaud(uint32_t bits_per_second) {
  return Bound() != nullptr ? tpx::WsysSetBaud(bits_per_second) : 0;
}
void TPXUseWM(uint32_t flag) {
  tpx::UseWM(flag);
}
int32_t TPXUserCancel(int32_t flag) {
  return tpx::UserCancel(flag);
}
uint8_t TPXSetSpeed(int32_t bits_per_second) {
  if (tpx::Connection() != nullptr)
    tpx::Connection()->baudRate = static_cast<uint32_t>(bits_per_second);
  return 1;
}
uint8_t TPXWsysPatchSendVQ3(const char* rom_path, const char* map_path, int32_t transfer_baud,
                            int32_t send_command) {
  if (Bound() == nullptr) return 0;
  return tpx::WsysPatchSendVQ3(rom_path, map_path, transfer_baud, send_command);
}
void TPXSetReproStatus(int32_t status) {
  tpx::State().reproStatus = status;
}
int32_t TPXGetReproStatus(void) {
  return tpx::State().reproStatus;
}

}  // extern "C"
