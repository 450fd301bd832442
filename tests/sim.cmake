# kovru-sim: its parts, and the faults it injects as the CLI sees them.
add_kovru_test(sim_tftp_packet_test SOURCES unit/sim_tftp_packet_test.cpp LIBS kovru_sim_core)
add_kovru_test(sim_controller_test SOURCES unit/sim_controller_test.cpp LIBS kovru_sim_core kovru_action_format)
add_kovru_test(sim_tftp_server_test SOURCES unit/sim_tftp_server_test.cpp LIBS kovru_sim_core)

add_kovru_test(sim_faults_test SOURCES integration/sim_faults_test.cpp
  LIBS kovru_controller kovru_transport kovru_backup_format kovru_transport_test_support TIMEOUT 120)
add_dependencies(sim_faults_test kovru-cli kovru-sim)

# A simulator started from a backup archive, and archives it refuses.
add_kovru_test(sim_from_backup_test SOURCES integration/sim_from_backup_test.cpp
  LIBS kovru_backup_test_support PkgConfig::LIBZIP TIMEOUT 300)
add_dependencies(sim_from_backup_test kovru-cli kovru-sim)
