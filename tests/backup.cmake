add_kovru_test(config_items_test SOURCES unit/config_items_test.cpp LIBS kovru_backup_format kovru_sim_core)
add_kovru_test(tar_image_test SOURCES unit/tar_image_test.cpp LIBS kovru_backup_format)
add_kovru_test(config_file_header_test SOURCES unit/config_file_header_test.cpp LIBS kovru_action_format)
add_kovru_test(conversion_test SOURCES unit/conversion_test.cpp LIBS kovru_action_format)
add_kovru_test(backup_archive_test SOURCES unit/backup_archive_test.cpp LIBS kovru_backup)

# End to end: kovru-cli against kovru-sim.
kovru_library(kovru_backup_test_support SOURCES fakes/backup_sim.cpp)
target_include_directories(kovru_backup_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
add_kovru_test(backup_restore_test SOURCES integration/backup_restore_test.cpp
  LIBS kovru_action_format kovru_backup kovru_backup_test_support TIMEOUT 900)
add_dependencies(backup_restore_test kovru-cli kovru-sim)

# Backups over several connections at once against the sequential backup.
add_kovru_test(parallel_backup_test SOURCES integration/parallel_backup_test.cpp
  LIBS kovru_transport_test_support TIMEOUT 300)
add_dependencies(parallel_backup_test kovru-cli kovru-sim)

# A backup killed mid-way, and backups, flash reads and exports onto a full disk.
add_kovru_test(backup_pressure_test SOURCES integration/backup_pressure_test.cpp
  LIBS kovru_transport_test_support PkgConfig::LIBZIP TIMEOUT 300)
add_dependencies(backup_pressure_test kovru-cli kovru-sim)

# compare_backup and put_backup --dryrun against archives and kovru-sim.
add_kovru_test(compare_backup_test SOURCES integration/compare_backup_test.cpp
  LIBS kovru_action_format kovru_backup_format kovru_backup_test_support PkgConfig::LIBZIP
  TIMEOUT 600)
add_dependencies(compare_backup_test kovru-cli kovru-sim)
