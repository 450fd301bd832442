# The simulator's parsers.
kovru_fuzz_target(sim_tftp_packet SOURCES sim_tftp_packet_fuzz.cpp LIBS kovru_sim_core)
kovru_fuzz_target(sim_backup_archive SOURCES sim_backup_archive_fuzz.cpp LIBS kovru_sim_core)
