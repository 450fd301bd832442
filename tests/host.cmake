# Desktop host: bridge and stores with fakes (no display), and the real program under Xvfb.
if(KOVRU_BUILD_HOST)
  add_kovru_test(bridge_message_bridge_test
    SOURCES unit/bridge_message_bridge_test.cpp
    LIBS kovrkit_actions kovrkit_bridge)
  add_kovru_test(bridge_sites_test
    SOURCES unit/bridge_sites_test.cpp
    LIBS kovrkit_actions kovrkit_bridge kovrkit_sites)
  add_kovru_test(bridge_file_commands_test
    SOURCES unit/bridge_file_commands_test.cpp
    LIBS kovrkit_bridge)
  add_kovru_test(host_app_test
    SOURCES unit/host_app_test.cpp
    LIBS kovrkit_actions kovrkit_bridge kovrkit_app)
  add_kovru_test(host_main_loop_test
    SOURCES unit/host_main_loop_test.cpp
    LIBS kovrkit_actions kovrkit_gtk)
endif()

if(KOVRU_BUILD_HOST)
  # Under the sanitizers, JavaScriptCore ends up in the program's own instrumented copy of
  # std::shared_ptr code and UBSan's vptr check stops the program on JavaScriptCore's objects,
  # so this test stays out of the sanitizer build; the host's logic runs there in the tests above.
  add_kovru_test(host_web_view_test
    SOURCES integration/host_web_view_test.cpp fakes/fake_http_server.cpp fakes/fake_host_process.cpp
    LIBS PkgConfig::GTK3 nlohmann_json::nlohmann_json
    XVFB LABELS nosanitize TIMEOUT 600)
  add_dependencies(host_web_view_test kovrkit)
  set_property(TEST host_web_view_test APPEND PROPERTY RESOURCE_LOCK loopback_port_5173)
endif()
