add_kovru_test(json_pull_test SOURCES unit/json_pull_test.cpp LIBS kovru_json)
