# The sample kit's write time, and a paced line against the protocol's floor.
add_executable(bench_orgsim_kit orgsim_kit_write.cpp)
vq3_defaults(bench_orgsim_kit)
target_link_libraries(bench_orgsim_kit PRIVATE orgsim_core)
add_executable(bench_orgsim_pacing orgsim_pacing.cpp)
vq3_defaults(bench_orgsim_pacing)
target_link_libraries(bench_orgsim_pacing PRIVATE orgsim_core ZEPComm)
