#include "cmdlib/library_state.h"

#include <string>
#include <vector>

#include "platform/modules.h"
#include "platform/trace.h"
#include "platform/windows.h"

namespace tpx {
namespace {

constexpr const char kProgressMessageName[] = "WM_USER_TepixProgress";
constexpr const char kLinkLibraryFile[] = "libZEPComm.so";

// The link library is loaded once and never unloaded: a failed binding or a
// destroyed connection leaves it in place, as bound code may still run.
void* LinkLibraryModule() {
  static void* module = nullptr;
  if (module != nullptr) return module;
  // The program's directory first, then our own, so that a client loading
  // libTPXCmd.so from elsewhere still finds the link library beside it.
  std::vector<std::string> folders = {
      platform::ProgramDirectory(),
      platform::ModuleDirectory(reinterpret_cast<const void*>(&State))};
  std::string error;
  module = platform::LoadModule(kLinkLibraryFile, folders, &error);
  if (module == nullptr) platform::Tracef("%s: %s\n", kLinkLibraryFile, error.c_str());
  return module;
}

}  // namespace

LibraryState& State() {
  // Never destroyed at exit: the library's unload hook closes the port while
  // the link library may already be finalised, so nothing else may run then.
  static LibraryState* state = new LibraryState;
  return *state;
}

bool RegisterProgressMessage() {
  State().progressMessage = platform::RegisterMessage(kProgressMessageName);
  return State().progressMessage != 0;
}

uint8_t Init(uint32_t owner_window, void* module, const SymbolResolver& resolve) {
  State().currentConnection = std::make_unique<CommandConnection>(owner_window);
  // Without its progress message the library cannot serve its owner window;
  // where a loader cannot refuse to load us, the binding refuses instead.
  if (State().progressMessage == 0 && !RegisterProgressMessage()) return 0;
  if (module == nullptr) return 0;
  return Connection()->Bind(module, resolve) ? 1 : 0;
}

uint8_t InitWithLinkLibrary(uint32_t owner_window) {
  void* module = LinkLibraryModule();
  return Init(owner_window, module,
              [module](const char* name) { return platform::ResolveSymbol(module, name); });
}

uint8_t UseWM(uint32_t flag) {
  State().useWindowMessages = static_cast<uint8_t>(flag & 0xFF);
  return State().useWindowMessages;
}

int32_t UserCancel(int32_t flag) {
  State().userCancel = static_cast<uint8_t>(flag & 0xFF);
  CommandConnection* connection = Connection();
  if (connection == nullptr || connection->ZEPUserCancel == nullptr) return 0;
  return connection->ZEPUserCancel(flag);
}

void ResetLibraryState() {
  LibraryState& state = State();
  state.currentConnection.reset();
  state.useWindowMessages = 0;
  state.userCancel = 0;
  state.reproStatus = kReproNotStarted;
}

}  // namespace tpx
