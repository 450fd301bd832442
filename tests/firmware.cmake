# Firmware upgrade of kovru-cli: packages made by the real 7z, images, and the two push
# actions end to end against kovru-sim.
kovru_library(kovru_firmware_test_support SOURCES fakes/firmware_files.cpp
  LIBS kovru_firmware_format kovru_sim_core kovru_transport_test_support)

add_kovru_test(firmware_package_test SOURCES unit/firmware_package_test.cpp
  LIBS kovru_firmware_format kovru_firmware_test_support)
add_kovru_test(firmware_info_test SOURCES unit/firmware_info_test.cpp
  LIBS kovru_firmware_format kovru_firmware_test_support)

add_kovru_test(firmware_push_test SOURCES integration/firmware_push_test.cpp
  LIBS kovru_firmware_format kovru_firmware_test_support TIMEOUT 300)
add_dependencies(firmware_push_test kovru-cli kovru-sim)
