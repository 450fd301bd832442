if(KOVRU_BUILD_HOST)
  # kovru-fleet with kovru-cli against kovru-sim.
  add_kovru_test(fleet_backup_test
    SOURCES integration/fleet_backup_test.cpp
    LIBS kovru_transport_test_support nlohmann_json::nlohmann_json PkgConfig::LIBZIP TIMEOUT 600)
  add_dependencies(fleet_backup_test kovru-fleet kovru-sim)
endif()
if(KOVRU_BUILD_HOST)
  # The package's systemd user units checked by systemd-analyze verify.
  add_test(NAME systemd_units_test
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/integration/systemd_units_test.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  set_tests_properties(systemd_units_test PROPERTIES TIMEOUT 60)
endif()
