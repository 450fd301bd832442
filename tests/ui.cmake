# The web UI: its logic under node, and the page itself in headless Chromium against a stand-in
# host channel. Neither needs the sanitizer build. Without node (or without the packages that
# scripts/setup.sh installs) these tests fail with a message instead of disappearing.
find_program(KOVRU_NODE node)
set(_kovru_ui_env "KOVRU_SOURCE_DIR=${PROJECT_SOURCE_DIR}")

function(add_kovru_node_test name script)
  if(KOVRU_NODE)
    add_test(NAME ${name} COMMAND ${KOVRU_NODE} --test ${script})
  else()
    add_test(NAME ${name} COMMAND sh -c "echo 'node is not installed: run scripts/setup.sh' >&2; exit 1")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${_kovru_ui_env}" TIMEOUT 300 LABELS "nosanitize;ui")
endfunction()

add_kovru_node_test(ui_sites_model_test ${CMAKE_CURRENT_SOURCE_DIR}/unit/ui_sites_model_test.mjs)
add_kovru_node_test(ui_browser_test ${CMAKE_CURRENT_SOURCE_DIR}/browser/ui_browser_test.mjs)
add_kovru_node_test(ui_discovery_browser_test ${CMAKE_CURRENT_SOURCE_DIR}/browser/discovery_browser_test.mjs)
