# Channel CSV import and export, 4 lines, no network: run as build/bench/channel_import_bench
add_executable(channel_import_bench channel_import_bench.cpp)
target_link_libraries(channel_import_bench PRIVATE kovru_import_format benchmark::benchmark)
kovru_warnings(channel_import_bench)
