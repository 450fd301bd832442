if(KOVRU_BUILD_HOST)
  # kovru-fleet with kovru-cli against kovru-sim.
  add_kovru_test(fleet_backup_test
    SOURCES integration/fleet_backup_test.cpp
    LIBS kovru_transport_test_support nlohmann_json::nlohmann_json TIMEOUT 600)
  add_dependencies(fleet_backup_test kovru-fleet kovru-sim)
endif()
