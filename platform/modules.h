// Shared libraries loaded by file name at run time.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Loads `file_name` from the first folder of `folders` that has it. Returns
// the module or nullptr; `error` (if given) then says what failed, per folder.
void* LoadModule(const std::string& file_name, const std::vector<std::string>& folders,
                 std::string* error = nullptr);
void* ResolveSymbol(void* module, const char* name);
void UnloadModule(void* module);

// Folder of the running program (from /proc/self/exe), without a trailing '/'.
std::string ProgramDirectory();
// Folder of the shared object that holds `address` (found with dladdr).
std::string ModuleDirectory(const void* address);

}  // namespace platform
