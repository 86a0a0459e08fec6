// Small per-user state files under $XDG_STATE_HOME/vq3upd/ (default
// ~/.local/state/vq3upd/), written atomically: temporary file, fsync, rename.
#pragma once

#include <optional>
#include <string>

namespace platform {

std::string StateDirectory();
// `name` is a plain file name. False (with `error` set) when it could not be written.
bool WriteStateFile(const std::string& name, const std::string& content, std::string* error = nullptr);
std::optional<std::string> ReadStateFile(const std::string& name);
// True when the file is gone afterwards (also when it never existed).
bool RemoveStateFile(const std::string& name);

}  // namespace platform
