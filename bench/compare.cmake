# compare_backup of two full backups: run as
#   build/bench/compare_backup_bench build/sim/kovru-sim build/cli/main/kovru-cli [RUNS]
add_executable(compare_backup_bench compare_backup_bench.cpp)
target_link_libraries(compare_backup_bench PRIVATE kovru_bench_support)
kovru_warnings(compare_backup_bench)
add_dependencies(compare_backup_bench kovru-cli kovru-sim)
