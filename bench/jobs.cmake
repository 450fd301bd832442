# Device jobs in the real host (needs a display): run as
#   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/jobs_host_bench 32 2 1 8
if(KOVRU_BUILD_HOST AND TARGET kovru_transport_test_support)
  add_executable(jobs_host_bench jobs_host_bench.cpp
    ${PROJECT_SOURCE_DIR}/tests/fakes/fake_host_process.cpp)
  target_include_directories(jobs_host_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(jobs_host_bench PRIVATE kovru_transport_test_support nlohmann_json::nlohmann_json)
  kovru_warnings(jobs_host_bench)
  add_dependencies(jobs_host_bench kovrkit kovru-sim)
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
