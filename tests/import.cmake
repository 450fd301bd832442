add_kovru_test(channel_import_test SOURCES unit/channel_import_test.cpp LIBS kovru_import_format PkgConfig::LIBZIP)

# End to end: kovru-cli against kovru-sim.
add_kovru_test(channel_setup_test SOURCES integration/channel_setup_test.cpp
  LIBS kovru_import_format kovru_backup_test_support PkgConfig::LIBZIP TIMEOUT 600)
add_dependencies(channel_setup_test kovru-cli kovru-sim)

# audit_lines on channel files of each layout, from archives and from kovru-sim.
add_kovru_test(audit_lines_test SOURCES integration/audit_lines_test.cpp
  LIBS kovru_import_format kovru_backup_test_support PkgConfig::LIBZIP TIMEOUT 600)
add_dependencies(audit_lines_test kovru-cli kovru-sim)
