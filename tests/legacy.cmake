# Legacy migration: the search over the old tool's files, its registry entries and the flow.
if(KOVRU_BUILD_HOST)
  add_kovru_test(legacy_extraction_test
    SOURCES unit/legacy_extraction_test.cpp
    LIBS kovrkit_legacy)
endif()
if(KOVRU_BUILD_HOST)
  add_kovru_test(legacy_registry_test
    SOURCES unit/legacy_registry_test.cpp
    LIBS kovrkit_legacy)
endif()
if(KOVRU_BUILD_HOST)
  add_kovru_test(legacy_flow_test
    SOURCES unit/legacy_flow_test.cpp
    LIBS kovrkit_legacy)
endif()

if(KOVRU_BUILD_HOST)
  # The real program and web view, as in host_web_view_test (kept out of the sanitizer build
  # for the same reason).
  add_kovru_test(legacy_host_test
    SOURCES integration/legacy_host_test.cpp fakes/fake_http_server.cpp fakes/fake_host_process.cpp
    LIBS nlohmann_json::nlohmann_json Threads::Threads
    XVFB LABELS nosanitize TIMEOUT 600)
  add_dependencies(legacy_host_test kovrkit)
endif()
