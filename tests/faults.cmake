# The fault matrix: every kovru-cli action and the host's status client against kovru-sim
# faults, at divided time-outs. It writes fault_matrix.md into the build folder; the second
# test compares that table with docs/fault_matrix.md.
add_kovru_test(fault_matrix_test SOURCES integration/fault_matrix_test.cpp
  LIBS kovrkit_actions kovru_firmware_test_support kovru_transport_test_support PkgConfig::LIBZIP
  LABELS faults TIMEOUT 240)
add_dependencies(fault_matrix_test kovru-cli kovru-sim)
set_tests_properties(fault_matrix_test PROPERTIES FIXTURES_SETUP fault_matrix)

add_test(NAME fault_matrix_doc_test
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/check_fault_matrix.sh ${PROJECT_BINARY_DIR}/fault_matrix.md)
set_tests_properties(fault_matrix_doc_test PROPERTIES LABELS faults FIXTURES_REQUIRED fault_matrix)
