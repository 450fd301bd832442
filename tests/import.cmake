add_kovru_test(channel_import_test SOURCES unit/channel_import_test.cpp LIBS kovru_import_format PkgConfig::LIBZIP)
