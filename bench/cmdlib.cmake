# A whole 512 KB update against the paced simulator: wall time against the
# protocol's floor, and the host's processor time.
add_executable(bench_cmdlib_full_update cmdlib_full_update.cpp)
vq3_defaults(bench_cmdlib_full_update)
target_link_libraries(bench_cmdlib_full_update PRIVATE tpxcmd_test_files orgsim_core)
add_dependencies(bench_cmdlib_full_update TPXCmd ZEPComm)
