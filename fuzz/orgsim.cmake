# The organizer's parsers: frames from the line, and the messages it serves.
vq3_fuzz(fuzz_orgsim_frames orgsim_frames_fuzz.cpp)
target_link_libraries(fuzz_orgsim_frames PRIVATE orgsim_core)
vq3_fuzz(fuzz_orgsim_organizer orgsim_organizer_fuzz.cpp)
target_link_libraries(fuzz_orgsim_organizer PRIVATE orgsim_core)
