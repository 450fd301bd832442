# Desktop host: bridge and stores with fakes (no display), and the real program under Xvfb.
if(KOVRU_BUILD_HOST)
  add_kovru_test(bridge_message_bridge_test
    SOURCES unit/bridge_message_bridge_test.cpp
    LIBS kovrkit_actions kovrkit_bridge)
  add_kovru_test(bridge_sites_test
    SOURCES unit/bridge_sites_test.cpp
    LIBS kovrkit_actions kovrkit_bridge kovrkit_sites)
  add_kovru_test(bridge_file_commands_test
    SOURCES unit/bridge_file_commands_test.cpp
    LIBS kovrkit_bridge)
  add_kovru_test(host_app_test
    SOURCES unit/host_app_test.cpp
    LIBS kovrkit_actions kovrkit_bridge kovrkit_app)
  add_kovru_test(host_main_loop_test
    SOURCES unit/host_main_loop_test.cpp
    LIBS kovrkit_actions kovrkit_gtk)
endif()

if(KOVRU_BUILD_HOST)
  # Under the sanitizers, JavaScriptCore ends up in the program's own instrumented copy of
  # std::shared_ptr code and UBSan's vptr check stops the program on JavaScriptCore's objects,
  # so this test stays out of the sanitizer build; the host's logic runs there in the tests above.
  add_kovru_test(host_web_view_test
    SOURCES integration/host_web_view_test.cpp fakes/fake_http_server.cpp fakes/fake_host_process.cpp
    LIBS PkgConfig::GTK3 nlohmann_json::nlohmann_json
    XVFB LABELS nosanitize TIMEOUT 600)
  add_dependencies(host_web_view_test kovrkit)
endif()


# Device actions: the status read against real loopback servers, status batches, and
# kovru-cli runs through a stand-in tool.
if(KOVRU_BUILD_HOST)
  add_kovru_test(actions_status_client_test
    SOURCES unit/actions_status_client_test.cpp fakes/fake_http_server.cpp
    LIBS kovrkit_actions)
  add_kovru_test(actions_status_batches_test
    SOURCES unit/actions_status_batches_test.cpp fakes/fake_http_server.cpp
    LIBS kovrkit_actions)
endif()
if(KOVRU_BUILD_HOST)
  add_kovru_test(actions_runner_test
    SOURCES unit/actions_runner_test.cpp
    LIBS kovrkit_actions kovrkit_process)
endif()
if(KOVRU_BUILD_HOST)
  add_kovru_test(host_device_actions_test
    SOURCES integration/host_device_actions_test.cpp fakes/fake_http_server.cpp fakes/fake_host_process.cpp
    LIBS kovru_transport_test_support nlohmann_json::nlohmann_json
    XVFB LABELS nosanitize TIMEOUT 600)
  add_dependencies(host_device_actions_test kovrkit kovru-sim)
endif()
if(KOVRU_BUILD_HOST)
  # The README's main job twice in a row under a private X server.
  add_test(NAME demo_main_job_test
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24"
      ${CMAKE_CURRENT_SOURCE_DIR}/integration/demo_main_job_test.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  set_tests_properties(demo_main_job_test PROPERTIES TIMEOUT 300 LABELS nosanitize RESOURCE_LOCK xvfb)
endif()

# The host's include directions (docs/architecture.md): each library below finds no header of
# a folder above it; kovrkit_app does not reach the GTK wiring in its own subfolder.
if(KOVRU_BUILD_HOST)
  foreach(_case IN ITEMS
      "kovrkit_platform|host/identity/origins.h" "kovrkit_platform|host/app/start_options.h"
      "kovrkit_text|host/sites/sites_store.h" "kovrkit_identity|host/bridge/message_bridge.h"
      "kovrkit_sites|host/bridge/message_bridge.h" "kovrkit_sites|host/app/state_folders.h"
      "kovrkit_bridge|host/actions/status_batches.h" "kovrkit_bridge|host/legacy/legacy_flow.h"
      "kovrkit_actions|host/app/gtk/main_window.h" "kovrkit_legacy|host/app/ui_resource.h"
      "kovrkit_app|host/app/gtk/webkit_view.h" "kovrkit_app|host/bridge/message_bridge.h"
      "kovrkit_jobs|host/app/gtk/job_close_guard.h" "kovrkit_actions|host/jobs/job_engine.h"
      "kovrkit_platform|host/platform/glib/glib_child_processes.h"
      "kovrkit_discovery|host/app/gtk/main_window.h" "kovrkit_discovery|host/jobs/job_engine.h"
      "kovrkit_actions|host/discovery/address_ranges.h" "kovrkit_sites|host/discovery/tree_comparison.h"
      "kovrkit_backups|host/jobs/job_engine.h" "kovrkit_backups|host/bridge/message_bridge.h"
      "kovrkit_platform|host/backups/backup_library.h" "kovrkit_jobs|fleet/fleet_command.h"
      "kovrkit_app|host/platform/glib/glib_main_loop_poster.h"
      "kovrkit_jobs|host/history/history_service.h" "kovrkit_backups|host/history/history_service.h")
    string(REPLACE "|" ";" _parts "${_case}")
    list(GET _parts 0 _library)
    list(GET _parts 1 _header)
    string(MAKE_C_IDENTIFIER "${_library}_${_header}" _id)
    kovru_include_direction_test(host_include_direction_${_id} ${_library} ${_header})
  endforeach()
endif()

if(KOVRU_BUILD_HOST)
  # Device jobs with a stand-in kovru-cli through the GLib child processes.
  # The DALI line jobs' requests and command lines, and the slow-link mark of the sites store.
  add_kovru_test(line_jobs_test
    SOURCES unit/line_jobs_test.cpp
    LIBS kovrkit_jobs kovrkit_sites)
  add_kovru_test(jobs_engine_test
    SOURCES unit/jobs_engine_test.cpp
    LIBS kovrkit_jobs kovrkit_platform_glib kovrkit_sites)
endif()
if(KOVRU_BUILD_HOST)
  # Staged firmware upgrades in the engine, with runs the test ends.
  add_kovru_test(jobs_rollout_test
    SOURCES unit/jobs_rollout_test.cpp
    LIBS kovrkit_jobs)
endif()
if(KOVRU_BUILD_HOST)
  # Staged firmware upgrades: the engine with the real kovru-cli and kovru-sim.
  add_kovru_test(jobs_rollout_e2e_test
    SOURCES integration/jobs_rollout_e2e_test.cpp
    LIBS kovrkit_jobs kovrkit_platform_glib kovrkit_sites kovru_firmware_test_support
    TIMEOUT 300)
  add_dependencies(jobs_rollout_e2e_test kovru-cli kovru-sim)
endif()
if(KOVRU_BUILD_HOST)
  # A test that drives the real host with the packaged page, kovru-cli and kovru-sim.
  function(add_real_host_test name)
    add_kovru_test(${name}
      SOURCES integration/${name}.cpp fakes/fake_http_server.cpp fakes/fake_host_process.cpp
              fakes/host_harness.cpp
      LIBS kovru_transport_test_support nlohmann_json::nlohmann_json ${ARGN}
      XVFB LABELS nosanitize TIMEOUT 600)
    add_dependencies(${name} kovrkit kovru-sim)
  endfunction()
  # Device jobs through the real host.
  add_real_host_test(host_jobs_test)
  # DALI line set-up with its preview, line export and DALI device firmware through the host.
  add_real_host_test(host_line_jobs_test)
endif()

if(KOVRU_BUILD_HOST)
  # The History through the real host: the library, kovru-cli and kovru-sim from a backup.
  add_real_host_test(host_history_test
    kovrkit_backups kovru_action_format kovru_backup_format PkgConfig::LIBZIP)
endif()

if(KOVRU_BUILD_HOST)
  # Finding controllers: ranges and the comparison with the tree without a network; the scan
  # against simulators on many loopback addresses.
  add_kovru_test(discovery_test
    SOURCES unit/discovery_test.cpp
    LIBS kovrkit_discovery)
  add_kovru_test(discovery_scan_test
    SOURCES integration/discovery_scan_test.cpp
    LIBS kovrkit_discovery kovru_transport_test_support nlohmann_json::nlohmann_json)
  add_dependencies(discovery_scan_test kovru-sim kovru-fleet)
endif()
