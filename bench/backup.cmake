# Full backup of a simulated controller: run as
#   build/bench/backup_full_bench build/sim/kovru-sim build/cli/main/kovru-cli [RUNS]
add_executable(backup_full_bench backup_full_bench.cpp)
target_link_libraries(backup_full_bench PRIVATE kovru_bench_support)
kovru_warnings(backup_full_bench)
add_dependencies(backup_full_bench kovru-cli kovru-sim)
