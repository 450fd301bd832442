# kovru_warnings(target): the project's warning set, errors when KOVRU_WERROR is on.
function(kovru_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wformat=2)
  if(KOVRU_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# kovru_include_root(target folder): gives the target an include root of its own,
# build/include/<target>, holding one link named after the folder's path inside the
# source tree (cli/log -> <source>/cli/log). #include "cli/log/log.h" then finds the
# headers of the target's own folder and of the libraries it links, and nothing else: an
# include of a folder that is not linked, such as one above, fails to compile.
# A folder that holds the folder of another library (host/app holds host/app/gtk, the top
# above it) is linked file by file, leaving that subfolder out, so the library below cannot
# reach the one above through it.
function(kovru_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  set(source ${PROJECT_SOURCE_DIR}/${folder})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${source} ${source}/*)
  set(library_folders "")
  foreach(child IN LISTS children)
    if(EXISTS ${source}/${child}/CMakeLists.txt)
      list(APPEND library_folders ${child})
    endif()
  endforeach()
  if(IS_SYMLINK ${root}/${folder})
    file(REMOVE ${root}/${folder})
  endif()
  if(library_folders)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(child IN LISTS children)
      if(NOT child IN_LIST library_folders AND NOT EXISTS ${root}/${folder}/${child})
        file(CREATE_LINK ${source}/${child} ${root}/${folder}/${child} SYMBOLIC)
      endif()
    endforeach()
  elseif(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${source} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# kovru_library(name SOURCES ... LIBS ...): one static library of a folder. Libraries of
# cli/, sim/, host/ and common/ see only their own folder and what they link
# (kovru_include_root); test helpers still see the whole source tree.
function(kovru_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(folder MATCHES "^tests(/|$)")
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  else()
    kovru_include_root(${name} ${folder})
  endif()
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
