# Controller transport against an in-process kovru-sim; prints its figures on standard error.
add_executable(transport_bench transport_bench.cpp)
target_link_libraries(transport_bench PRIVATE kovru_controller kovru_transport kovru_backup_format kovru_sim_core)
kovru_warnings(transport_bench)
