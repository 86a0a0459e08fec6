# Bytes from the line into the frame recognisers and the whole receive path.
vq3_fuzz(fuzz_link_frames linklib_frames_fuzz.cpp)
target_link_libraries(fuzz_link_frames PRIVATE zepcomm_core)
