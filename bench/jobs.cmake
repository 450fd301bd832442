# Benchmarks of the real host through the packaged UI (bench/host_bench_support.h; they need
# a display): device jobs, and the DALI line set-up's preview. Run as
#   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/jobs_host_bench 32 2 1 8
#   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/line_preview_bench 2 6 1 8
if(KOVRU_BUILD_HOST AND TARGET kovru_transport_test_support)
  add_library(kovru_host_bench_support STATIC host_bench_support.cpp
    ${PROJECT_SOURCE_DIR}/tests/fakes/fake_host_process.cpp
    ${PROJECT_SOURCE_DIR}/tests/fakes/fake_http_server.cpp)
  target_include_directories(kovru_host_bench_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(kovru_host_bench_support PUBLIC kovru_bench_support
    kovru_transport_test_support nlohmann_json::nlohmann_json)
  kovru_warnings(kovru_host_bench_support)
  foreach(_bench IN ITEMS jobs_host_bench line_preview_bench)
    add_executable(${_bench} ${_bench}.cpp)
    target_link_libraries(${_bench} PRIVATE kovru_host_bench_support)
    kovru_warnings(${_bench})
    add_dependencies(${_bench} kovrkit kovru-sim)
  endforeach()
endif()

# A staged firmware rollout against one-by-one upgrades (no display needed):
#   KOVRU_BINARY_DIR=build build/bench/rollout_bench 64 2 8
if(KOVRU_BUILD_HOST AND TARGET kovru_firmware_test_support)
  add_executable(rollout_bench rollout_bench.cpp)
  target_include_directories(rollout_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(rollout_bench PRIVATE kovrkit_jobs kovrkit_platform_glib
    kovru_firmware_test_support nlohmann_json::nlohmann_json)
  kovru_warnings(rollout_bench)
  add_dependencies(rollout_bench kovru-cli kovru-sim)
endif()
