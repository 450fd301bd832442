kovru_fuzz_target(json_pull SOURCES json_pull_fuzz.cpp LIBS kovru_json)
