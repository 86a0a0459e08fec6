// Shared libraries loaded by file name at run time.
#include "platform/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void* LoadModule(const std::string& file_name, const std::vector<std::string>& folders,
                 std::string* error) {
  std::string reasons;
  for (const std::string& folder : folders) {
    const std::string path = folder.empty() ? file_name : folder + "/" + file_name;
    if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (error != nullptr) error->clear();
      return module;
    }
    const char* why = dlerror();
    reasons += path + ": " + (why != nullptr ? why : "cannot be loaded") + "\n";
  }
  if (folders.empty()) reasons = file_name + ": no folder to look in\n";
  if (error != nullptr) *error = reasons;
  return nullptr;
}

void* ResolveSymbol(void* module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return dlsym(module, name);
}

void UnloadModule(void* module) {
  if (module != nullptr) dlclose(module);
}

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string ProgramDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return ".";
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return FolderOf(buffer);
    }
    buffer.resize(buffer.size() * 2);  // the path may have been cut: try again larger
  }
}

std::string ModuleDirectory(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
  return FolderOf(info.dli_fname);
}

}  // namespace platform
