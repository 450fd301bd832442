# Field speed over a slow link (default against --tftpblocksize): run as
#   build/bench/field_speed_bench build/sim/kovru-sim build/cli/main/kovru-cli [LATENCY_MS] [backup|upload|fast]...
add_executable(field_speed_bench field_speed_bench.cpp)
target_link_libraries(field_speed_bench PRIVATE kovru_transport kovru_bench_support)
kovru_warnings(field_speed_bench)
add_dependencies(field_speed_bench kovru-cli kovru-sim)
