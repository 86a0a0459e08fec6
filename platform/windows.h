// Windows and posted messages: the least of a desktop message queue that the
// libraries need. A window is an id with a procedure and an enabled flag; a
// message posted to it is dispatched by the next Pump on the same process.
// Everything here is for the one user-interface thread.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using WindowId = uint32_t;  // 0 = no window

// Sent to a window's procedure (not queued) when its enabled flag changes;
// wparam is the new state, 1 or 0.
constexpr uint32_t kMsgEnable = 0x000A;

using WindowProc = std::function<void(WindowId window, uint32_t msg, uintptr_t wparam, intptr_t lparam)>;

// Same name, same id, process wide, from 0xC000 up; 0 for an empty name.
uint32_t RegisterMessage(const char* name);

WindowId CreateWindow(WindowProc proc);
// Messages still queued for the window are dropped.
void DestroyWindow(WindowId window);
// False for 0 and for unknown windows.
bool IsWindowEnabled(WindowId window);
// Returns the previous enabled state; no effect on 0 or unknown windows.
bool EnableWindow(WindowId window, bool enable);

// Queues a message; a no-op (false) for window 0 or a destroyed window.
bool PostMessage(WindowId window, uint32_t msg, uintptr_t wparam, intptr_t lparam);

// A request to end the program. It stays pending until the host takes it.
void PostQuit(int exit_code);
// Takes a pending quit request; false when there is none.
bool TakeQuit(int* exit_code);

// Runs once at the end of every Pump, to let the host's own event loop turn
// (the GUI processes its events, the terminal front end notices Ctrl-C).
void SetPumpHook(std::function<void()> hook);

// Dispatches every queued message, then runs the pump hook once. Returns
// false when a quit request is pending (it is kept, never lost), else true.
bool Pump();

}  // namespace platform
