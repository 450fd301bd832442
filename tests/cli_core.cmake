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
add_test(NAME include_direction_test
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only
          "-I$<JOIN:$<TARGET_PROPERTY:kovru_log,INCLUDE_DIRECTORIES>,;-I>"
          ${CMAKE_CURRENT_SOURCE_DIR}/layering/upward_include.cpp
  COMMAND_EXPAND_LISTS)
set_tests_properties(include_direction_test PROPERTIES
  PASS_REGULAR_EXPRESSION "cli/main/dispatch.h: No such file or directory")

add_kovru_test(input_checks_test SOURCES integration/input_checks_test.cpp
  LIBS kovru_firmware_test_support TIMEOUT 180)
add_dependencies(input_checks_test kovru-cli kovru-sim)
