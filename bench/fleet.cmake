# kovru-fleet backup of many simulated controllers: run as
#   build/bench/fleet_backup_bench build/sim/kovru-sim build/host/app/kovru-fleet 64 2 16
if(KOVRU_BUILD_HOST)
  add_executable(fleet_backup_bench fleet_backup_bench.cpp)
  target_link_libraries(fleet_backup_bench PRIVATE kovru_bench_support nlohmann_json::nlohmann_json)
  kovru_warnings(fleet_backup_bench)
  add_dependencies(fleet_backup_bench kovru-fleet kovru-sim)
endif()
