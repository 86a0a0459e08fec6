// Windows, registered message ids and the posted-message queue of the one
// user-interface thread.
#include "platform/windows.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace platform {
namespace {

constexpr uint32_t kFirstRegisteredMessage = 0xC000;  // as the desktop numbers them
constexpr uint32_t kLastRegisteredMessage = 0xFFFF;   // the range ends here

struct Window {
  WindowProc proc;
  bool enabled = true;
};

struct Posted {
  WindowId window;
  uint32_t msg;
  uintptr_t wparam;
  intptr_t lparam;
};

struct State {
  std::map<std::string, uint32_t> registered;
  uint32_t next_registered = kFirstRegisteredMessage;
  std::map<WindowId, std::shared_ptr<Window>> windows;
  WindowId next_window = 1;
  std::deque<Posted> queue;
  bool quit_pending = false;
  int quit_code = 0;
  std::function<void()> pump_hook;
};

State& S() {
  static State state;
  return state;
}

std::shared_ptr<Window> Find(WindowId window) {
  auto it = S().windows.find(window);
  return it == S().windows.end() ? nullptr : it->second;
}

// Takes the oldest queued message; false when the queue is empty.
bool TakeNext(Posted* out) {
  if (S().queue.empty()) return false;
  *out = S().queue.front();
  S().queue.pop_front();
  return true;
}

}  // namespace

uint32_t RegisterMessage(const char* name) {
  if (name == nullptr || *name == '\0') return 0;
  State& s = S();
  auto it = s.registered.find(name);
  if (it != s.registered.end()) return it->second;
  // The id range is finite; once used up, a new name gets 0 like a failed registration.
  if (s.next_registered > kLastRegisteredMessage) return 0;
  const uint32_t id = s.next_registered++;
  s.registered.emplace(name, id);
  return id;
}

WindowId CreateWindow(WindowProc proc) {
  State& s = S();
  const WindowId id = s.next_window++;
  auto window = std::make_shared<Window>();
  window->proc = std::move(proc);
  s.windows.emplace(id, std::move(window));
  return id;
}

void DestroyWindow(WindowId window) {
  State& s = S();
  if (s.windows.erase(window) == 0) return;
  std::erase_if(s.queue, [window](const Posted& p) { return p.window == window; });
}

bool IsWindowEnabled(WindowId window) {
  auto w = Find(window);
  return w != nullptr && w->enabled;
}

bool EnableWindow(WindowId window, bool enable) {
  auto w = Find(window);
  if (w == nullptr) return false;
  const bool previous = w->enabled;
  if (previous == enable) return previous;
  w->enabled = enable;
  // The shared pointer keeps the procedure alive even if it destroys its window.
  if (w->proc) w->proc(window, kMsgEnable, enable ? 1 : 0, 0);
  return previous;
}

bool PostMessage(WindowId window, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  if (window == 0 || Find(window) == nullptr) return false;
  S().queue.push_back(Posted{window, msg, wparam, lparam});
  return true;
}

void PostQuit(int exit_code) {
  S().quit_pending = true;
  S().quit_code = exit_code;
}

bool TakeQuit(int* exit_code) {
  State& s = S();
  if (!s.quit_pending) return false;
  s.quit_pending = false;
  if (exit_code != nullptr) *exit_code = s.quit_code;
  return true;
}

void SetPumpHook(std::function<void()> hook) {
  S().pump_hook = std::move(hook);
}

bool Pump() {
  // A procedure may create, destroy or post while it runs, and may pump again
  // itself: each message is taken off the queue before it is dispatched.
  Posted p{};
  while (TakeNext(&p)) {
    auto w = Find(p.window);
    if (w != nullptr && w->proc) w->proc(p.window, p.msg, p.wparam, p.lparam);
  }
  std::function<void()> hook = S().pump_hook;
  if (hook) hook();
  return !S().quit_pending;
}

}  // namespace platform
