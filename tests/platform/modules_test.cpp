#include "platform/modules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/trace.h"

namespace platform {
namespace {

TEST(Modules, ProgramAndLibraryFoldersAreTheOutputFolder) {
  const std::string program = ProgramDirectory();
  EXPECT_FALSE(program.empty());
  EXPECT_NE(program.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(program + "/test_platform"));
  // The platform library lands beside the programs.
  EXPECT_EQ(ModuleDirectory(reinterpret_cast<const void*>(&Trace)), program);
  EXPECT_EQ(ModuleDirectory(nullptr), "");
}

TEST(Modules, LoadsFromTheFirstFolderThatHasIt) {
  std::string error = "stale";
  void* module =
      LoadModule("libvq3platform.so", {"/nonexistent-folder", ProgramDirectory()}, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_EQ(error, "");
  // The same library the test links: the symbol is the one already loaded.
  EXPECT_EQ(ResolveSymbol(module, "_ZN8platform5TraceEPKc"), reinterpret_cast<void*>(&Trace));
  EXPECT_EQ(ResolveSymbol(module, "NoSuchEntryPoint"), nullptr);
  UnloadModule(module);
}

TEST(Modules, FailureSaysWhatWentWrongInEachFolder) {
  std::string error;
  EXPECT_EQ(LoadModule("libZEPComm-missing.so", {"/nowhere-a", "/nowhere-b"}, &error), nullptr);
  EXPECT_NE(error.find("/nowhere-a/libZEPComm-missing.so"), std::string::npos) << error;
  EXPECT_NE(error.find("/nowhere-b/libZEPComm-missing.so"), std::string::npos) << error;
  EXPECT_EQ(LoadModule("x.so", {}, &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ResolveSymbol(nullptr, "x"), nullptr);
  UnloadModule(nullptr);
}

}  // namespace
}  // namespace platform
