# Status batch of simulated controllers: run as
#   build/bench/status_batch_bench build/sim/kovru-sim [DEVICES] [SILENT] [IN_FLIGHT]
if(KOVRU_BUILD_HOST)
  add_executable(status_batch_bench status_batch_bench.cpp)
  target_link_libraries(status_batch_bench PRIVATE kovrkit_actions)
  kovru_warnings(status_batch_bench)
  add_dependencies(status_batch_bench kovru-sim)
endif()
