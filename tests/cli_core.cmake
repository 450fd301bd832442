add_kovru_test(json_pull_test SOURCES unit/json_pull_test.cpp LIBS kovru_json)
add_kovru_test(options_test SOURCES unit/options_test.cpp LIBS kovru_main)
add_kovru_test(dispatch_test SOURCES unit/dispatch_test.cpp LIBS kovru_main)
add_kovru_test(log_test SOURCES unit/log_test.cpp LIBS kovru_log)
