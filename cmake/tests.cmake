# GoogleTest from Debian's sources, cross-compiled; every tests/<folder>/test_*.cpp is one
# test program and one ctest entry (a Wine start costs seconds, so not one per case).
enable_testing()
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Each test program runs under Wine through a wrapper that knows this build tree and its prefix.
include(cmake/wine.cmake)
korvel_wine_run(${CMAKE_BINARY_DIR} ${KORVEL_ARCH})
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/*.cpp)
# Compiled into each test program itself (a static library would drop its initialiser).
set(TEST_ENVIRONMENT ${PROJECT_SOURCE_DIR}/tests/support/test_environment.cpp)
list(REMOVE_ITEM SUPPORT_SOURCES ${TEST_ENVIRONMENT})
add_library(korvel_test_support STATIC ${SUPPORT_SOURCES})
target_include_directories(korvel_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests/support
  ${PROJECT_SOURCE_DIR}/korvel ${DEPS}/include)
target_link_libraries(korvel_test_support PUBLIC korvel gtest)

file(GLOB_RECURSE TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*/test_*.cpp)
list(FILTER TEST_SOURCES EXCLUDE REGEX "/tests/support/")
foreach(src ${TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  get_filename_component(dir ${src} DIRECTORY)
  get_filename_component(folder ${dir} NAME)
  set(target ${folder}_${name})
  add_executable(${target} ${src} ${TEST_ENVIRONMENT})
  target_link_libraries(${target} PRIVATE korvel_test_support gtest_main)
  # Each program runs in a folder of its own, so its Log.txt and files stay apart.
  set(workdir ${CMAKE_BINARY_DIR}/testrun/${target})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${target} COMMAND ${target} WORKING_DIRECTORY ${workdir})
  set_tests_properties(${target} PROPERTIES TIMEOUT 300 ENVIRONMENT "KORVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  # Programs that inject keyboard and mouse input need the display's focus to themselves;
  # those that read presented windows back from the screen need it unobscured (the window
  # device program also covers the whole screen in fullscreen); the window program checks
  # the system-wide screen-saver setting, which every library start changes.
  if(folder STREQUAL "input" OR target MATCHES "^graphics_test_software_" OR
     target MATCHES "^(graphics_test_draw2d|graphics_test_draw_graph|graphics_test_graph_reload|app_test_viewer_program|system_test_window|system_test_window_device)$")
    set_tests_properties(${target} PROPERTIES RUN_SERIAL TRUE)
  endif()
endforeach()

# A program that crashes is reported failed (the test environment's exception filter).
add_test(NAME core_crash_fails_the_program COMMAND core_test_crash_exit --gtest_filter=CrashExit.CrashesWhenAsked)
set_tests_properties(core_crash_fails_the_program PROPERTIES WILL_FAIL TRUE ENVIRONMENT "KORVEL_CRASH_NOW=1"
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/testrun/core_test_crash_exit)

# The program imports only the allowed DLLs at load time.
add_test(NAME app_imports COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/check-imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:Quillmere>)
# The machine set-up's source entries, made from apt source files (a shell test, no Wine).
add_test(NAME scripts_test_source_entries COMMAND sh ${PROJECT_SOURCE_DIR}/tests/scripts/test_source_entries.sh
  ${PROJECT_SOURCE_DIR}/scripts/source-entries.awk)

# Benchmarks: every bench/*.cpp is a program of its own (run by hand, never by ctest).
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
foreach(src ${BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(bench_${name} ${src})
  target_link_libraries(bench_${name} PRIVATE korvel_test_support quillmere_core)
endforeach()
