// Making the folders the simulator writes into (kits, port links).
#pragma once

#include <sys/types.h>

#include <string>

namespace orgsim {

// Creates `path` and every missing parent with `mode`; false (with `error`
// naming the folder and the reason) when one cannot be made.
bool MakeFolders(const std::string& path, mode_t mode, std::string* error);

}  // namespace orgsim
