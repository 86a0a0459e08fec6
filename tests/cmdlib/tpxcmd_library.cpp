#include "tests/cmdlib/tpxcmd_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "platform/modules.h"

namespace tpxtest {
namespace {

template <typename Fn>
bool Resolve(void* module, const char* name, Fn& field) {
  field = reinterpret_cast<Fn>(dlsym(module, name));
  if (field == nullptr) std::fprintf(stderr, "libTPXCmd.so lacks %s\n", name);
  return field != nullptr;
}

bool Bind(void* module, TpxCmdLibrary& l) {
  return Resolve(module, "TPXInit", l.Init) & Resolve(module, "TPXOpen", l.Open) &
         Resolve(module, "TPXClose", l.Close) & Resolve(module, "TPXFreeBuf", l.FreeBuf) &
         Resolve(module, "TPXReceiveStart", l.ReceiveStart) &
         Resolve(module, "TPXWsysReset", l.WsysReset) & Resolve(module, "TPXWsysQuit", l.WsysQuit) &
         Resolve(module, "TPXWsysReceiveQimAll", l.WsysReceiveQimAll) &
         Resolve(module, "TPXWsysSetBaud", l.WsysSetBaud) & Resolve(module, "TPXUseWM", l.UseWM) &
         Resolve(module, "TPXUserCancel", l.UserCancel) &
         Resolve(module, "TPXSetSpeed", l.SetSpeed) &
         Resolve(module, "TPXWsysPatchSendVQ3", l.WsysPatchSendVQ3) &
         Resolve(module, "TPXSetReproStatus", l.SetReproStatus) &
         Resolve(module, "TPXGetReproStatus", l.GetReproStatus);
}

}  // namespace

const TpxCmdLibrary* LoadTpxCmd() {
  static TpxCmdLibrary library;
  static bool bound = [] {
    std::string path = platform::ProgramDirectory() + "/libTPXCmd.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      std::fprintf(stderr, "%s\n", dlerror());
      return false;
    }
    return Bind(module, library);
  }();
  return bound ? &library : nullptr;
}

}  // namespace tpxtest
