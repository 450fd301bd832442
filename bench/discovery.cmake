# Discovery scans of loopback addresses: run as
#   build/bench/discovery_bench build/sim/kovru-sim [closed|silent|wide] [TIMEOUT_MS]
if(KOVRU_BUILD_HOST)
  add_executable(discovery_bench discovery_bench.cpp)
  target_link_libraries(discovery_bench PRIVATE kovrkit_discovery kovru_bench_support)
  kovru_warnings(discovery_bench)
  add_dependencies(discovery_bench kovru-sim)
endif()
