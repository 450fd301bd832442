# The host's parsers: status answers, the legacy store and registry, the sites tree and the
# UI's messages.
kovru_fuzz_target(host_status SOURCES host_status_fuzz.cpp LIBS kovrkit_actions)
kovru_fuzz_target(legacy_byte_scan SOURCES legacy_byte_scan_fuzz.cpp LIBS kovrkit_legacy)
kovru_fuzz_target(wine_registry SOURCES wine_registry_fuzz.cpp LIBS kovrkit_legacy)
kovru_fuzz_target(sites_document SOURCES sites_document_fuzz.cpp LIBS kovrkit_sites)
kovru_fuzz_target(bridge_message SOURCES bridge_message_fuzz.cpp LIBS kovrkit_actions kovrkit_legacy)
kovru_fuzz_target(tool_events SOURCES tool_events_fuzz.cpp LIBS kovrkit_jobs)
kovru_fuzz_target(job_start SOURCES job_start_fuzz.cpp LIBS kovrkit_jobs)
kovru_fuzz_target(discovery_ranges SOURCES discovery_ranges_fuzz.cpp LIBS kovrkit_discovery)
kovru_fuzz_target(backup_record SOURCES backup_record_fuzz.cpp LIBS kovrkit_backups)
