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
