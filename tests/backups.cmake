if(KOVRU_BUILD_HOST)
  # The backup library with backups of kovru-sim taken by kovru-cli.
  add_kovru_test(backup_library_test
    SOURCES integration/backup_library_test.cpp
    LIBS kovrkit_backups kovrkit_jobs kovrkit_platform_glib kovru_transport_test_support PkgConfig::LIBZIP TIMEOUT 600)
  add_dependencies(backup_library_test kovru-cli kovru-sim)
endif()
