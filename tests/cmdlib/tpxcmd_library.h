// libTPXCmd.so loaded by name from the test program's folder, as the update
// application loads it, with its fifteen exports resolved.
#pragma once

#include "cmdlib/cmdlib_exports.h"

namespace tpxtest {

struct TpxCmdLibrary {
  TPXInitFn Init;
  TPXOpenFn Open;
  TPXCloseFn Close;
  TPXFreeBufFn FreeBuf;
  TPXReceiveStartFn ReceiveStart;
  TPXWsysResetFn WsysReset;
  TPXWsysQuitFn WsysQuit;
  TPXWsysReceiveQimAllFn WsysReceiveQimAll;
  TPXWsysSetBaudFn WsysSetBaud;
  TPXUseWMFn UseWM;
  TPXUserCancelFn UserCancel;
  TPXSetSpeedFn SetSpeed;
  TPXWsysPatchSendVQ3Fn WsysPatchSendVQ3;
  TPXSetReproStatusFn SetReproStatus;
  TPXGetReproStatusFn GetReproStatus;
};

// Loaded once and kept; null when the library or one export is missing.
const TpxCmdLibrary* LoadTpxCmd();

}  // namespace tpxtest
