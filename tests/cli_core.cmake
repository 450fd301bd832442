add_kovru_test(json_pull_test SOURCES unit/json_pull_test.cpp LIBS kovru_json)
add_kovru_test(options_test SOURCES unit/options_test.cpp LIBS kovru_main)
add_kovru_test(dispatch_test SOURCES unit/dispatch_test.cpp LIBS kovru_main)
add_kovru_test(log_test SOURCES unit/log_test.cpp LIBS kovru_log)
add_kovru_test(progress_window_test SOURCES unit/progress_window_test.cpp LIBS kovru_log_window XVFB)
add_kovru_test(dispatch_cli_test SOURCES integration/dispatch_cli_test.cpp XVFB TIMEOUT 120)
add_dependencies(dispatch_cli_test kovru-cli)
# Private X servers started side by side can pick the same display number.
set_tests_properties(progress_window_test dispatch_cli_test PROPERTIES RESOURCE_LOCK xvfb)
