# kovru_warnings(target): the project's warning set, errors when KOVRU_WERROR is on.
function(kovru_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KOVRU_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# kovru_library(name SOURCES ... LIBS ...): one static library of a CLI, sim or host folder.
function(kovru_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  kovru_warnings(${name})
endfunction()

# add_kovru_test(name SOURCES ... LIBS ... [LABELS ...] [XVFB]): a GoogleTest program run by CTest.
# XVFB runs it under a private X server (xvfb-run -a).
function(add_kovru_test name)
  cmake_parse_arguments(ARG "XVFB" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  kovru_warnings(${name})
  if(ARG_XVFB)
    add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(timeout 300)
  if(ARG_TIMEOUT)
    set(timeout ${ARG_TIMEOUT})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
    ENVIRONMENT "KOVRU_SOURCE_DIR=${PROJECT_SOURCE_DIR};KOVRU_BINARY_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if(ARG_XVFB)
    # xvfb-run -a picks its display by probing lock files, which races between parallel tests.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK xvfb)
  endif()
endfunction()

# kovru_subdirectories(): add every direct subfolder that has a CMakeLists.txt, so each
# area can grow without editing a shared list.
macro(kovru_subdirectories)
  file(GLOB _kovru_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _kovru_children)
  foreach(_child IN LISTS _kovru_children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()
