# Controller transport of kovru-cli: unit tests, and end-to-end tests against kovru-sim,
# tftpd-hpa and curl's command-line client.
kovru_library(kovru_transport_test_support SOURCES fakes/sim_process.cpp)
target_include_directories(kovru_transport_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)

add_kovru_test(status_document_test SOURCES unit/status_document_test.cpp LIBS kovru_controller)
add_kovru_test(transport_output_path_test SOURCES unit/transport_output_path_test.cpp
  LIBS kovru_transport)

add_kovru_test(transport_cli_test SOURCES integration/transport_cli_test.cpp
  LIBS kovru_controller kovru_transport kovru_backup_format kovru_sim_core kovru_transport_test_support
  TIMEOUT 120)
add_dependencies(transport_cli_test kovru-cli kovru-sim)

add_kovru_test(tftp_interop_test SOURCES integration/tftp_interop_test.cpp
  LIBS kovru_controller kovru_transport kovru_backup_format kovru_transport_test_support
    kovru_tftpd_test_support TIMEOUT 120)
add_dependencies(tftp_interop_test kovru-sim)

# TFTP block sizes and the block-number wrap of long uploads; the wrap cases move two 16 MiB
# images at 128-byte blocks to each server.
kovru_library(kovru_tftpd_test_support SOURCES fakes/tftpd_server.cpp)
target_include_directories(kovru_tftpd_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
add_kovru_test(tftp_block_size_test SOURCES integration/tftp_block_size_test.cpp
  LIBS kovru_controller kovru_transport kovru_sim_core kovru_transport_test_support
    kovru_tftpd_test_support
  TIMEOUT 300)
add_dependencies(tftp_block_size_test kovru-sim)

add_kovru_test(connection_reuse_test SOURCES integration/connection_reuse_test.cpp
  LIBS kovru_transport_test_support TIMEOUT 180)
add_dependencies(connection_reuse_test kovru-cli kovru-sim)

# The TFTP client against scripted servers (no network).
add_kovru_test(tftp_client_test SOURCES unit/tftp_client_test.cpp LIBS kovru_transport)
target_include_directories(tftp_client_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)

# Lost, late, repeated, reordered and stray TFTP packets (the simulator's chosen-packet faults,
# tftpd-hpa through a lossy relay) and the window sizes.
kovru_library(kovru_lossy_relay_test_support SOURCES fakes/lossy_udp_relay.cpp)
target_include_directories(kovru_lossy_relay_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
add_kovru_test(tftp_retransmission_test SOURCES integration/tftp_retransmission_test.cpp
  LIBS kovru_controller kovru_transport kovru_sim_core kovru_transport_test_support
    kovru_tftpd_test_support kovru_lossy_relay_test_support
  TIMEOUT 300)
add_dependencies(tftp_retransmission_test kovru-sim)
