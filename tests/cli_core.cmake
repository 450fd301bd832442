add_kovru_test(json_pull_test SOURCES unit/json_pull_test.cpp LIBS kovru_json)
add_kovru_test(options_test SOURCES unit/options_test.cpp LIBS kovru_main)
add_kovru_test(dispatch_test SOURCES unit/dispatch_test.cpp LIBS kovru_cli_handlers)
add_kovru_test(log_test SOURCES unit/log_test.cpp LIBS kovru_log)
add_kovru_test(progress_window_test SOURCES unit/progress_window_test.cpp LIBS kovru_log_window XVFB)
add_kovru_test(dispatch_cli_test SOURCES integration/dispatch_cli_test.cpp XVFB TIMEOUT 120)
add_dependencies(dispatch_cli_test kovru-cli)
# Private X servers started side by side can pick the same display number.
set_tests_properties(progress_window_test dispatch_cli_test PROPERTIES RESOURCE_LOCK xvfb)

# The build enforces the include directions: a header of a folder above is not found.
# kovru_include_direction_test(name library header): compiling an include of `header` with
# the include path of `library` alone must fail because the header is not found.
function(kovru_include_direction_test name library header)
  add_test(NAME ${name}
    COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only
            "-I$<JOIN:$<TARGET_PROPERTY:${library},INCLUDE_DIRECTORIES>,;-I>"
            "-DKOVRU_UPWARD_HEADER=\"${header}\""
            ${PROJECT_SOURCE_DIR}/tests/layering/upward_include.cpp
    COMMAND_EXPAND_LISTS)
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "${header}: No such file or directory")
endfunction()
kovru_include_direction_test(include_direction_test kovru_log "cli/main/dispatch.h")

add_kovru_test(tool_events_test SOURCES integration/tool_events_test.cpp
  LIBS kovru_transport_test_support nlohmann_json::nlohmann_json TIMEOUT 180)
add_dependencies(tool_events_test kovru-cli kovru-sim)

add_kovru_test(cancel_cli_test SOURCES integration/cancel_cli_test.cpp
  LIBS kovru_transport_test_support kovru_firmware_test_support TIMEOUT 300)
add_dependencies(cancel_cli_test kovru-cli kovru-sim)

add_kovru_test(input_checks_test SOURCES integration/input_checks_test.cpp
  LIBS kovru_firmware_test_support TIMEOUT 180)
add_dependencies(input_checks_test kovru-cli kovru-sim)
