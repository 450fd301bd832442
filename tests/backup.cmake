add_kovru_test(config_items_test SOURCES unit/config_items_test.cpp LIBS kovru_backup)
add_kovru_test(tar_image_test SOURCES unit/tar_image_test.cpp LIBS kovru_backup)
add_kovru_test(config_file_header_test SOURCES unit/config_file_header_test.cpp LIBS kovru_action)
add_kovru_test(conversion_test SOURCES unit/conversion_test.cpp LIBS kovru_action)
