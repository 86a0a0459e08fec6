# The loader map and ROM image readers of the command library.
vq3_fuzz(fuzz_cmdlib_repro_files cmdlib_repro_files_fuzz.cpp)
target_link_libraries(fuzz_cmdlib_repro_files PRIVATE tpxcmd_core)
