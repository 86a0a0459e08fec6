# Port names as the user or the settings file give them.
vq3_fuzz(fuzz_platform_port_names platform_port_names_fuzz.cpp)
target_link_libraries(fuzz_platform_port_names PRIVATE vq3platform)
