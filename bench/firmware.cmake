# Firmware upgrade: package check of a 16 MiB package (time and peak memory, in a child
# process) and the 16 MiB image upload against an in-process kovru-sim.
add_executable(firmware_bench firmware_bench.cpp)
target_link_libraries(firmware_bench PRIVATE kovru_firmware_format kovru_controller kovru_transport kovru_sim_core)
kovru_warnings(firmware_bench)
