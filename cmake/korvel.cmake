# The library: every source below korvel/ (one folder per subsystem).
file(GLOB_RECURSE KORVEL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/korvel/*.cpp ${PROJECT_SOURCE_DIR}/korvel/*.c)
add_library(korvel STATIC ${KORVEL_SOURCES})
target_include_directories(korvel PUBLIC ${PROJECT_SOURCE_DIR}/korvel/include PRIVATE ${PROJECT_SOURCE_DIR}/korvel
  ${DEPS}/include)
# Only user32, kernel32, gdi32 and shell32 (and the C runtime) are imported at load time;
# every other system DLL is loaded by name at run time.
target_link_libraries(korvel PUBLIC user32 kernel32 gdi32 shell32)

# The grid viewer.
file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/app/*.rc)
add_executable(Quillmere WIN32 ${APP_SOURCES})
target_link_libraries(Quillmere PRIVATE korvel)

# Host-side helpers and their outputs (sample data, tools) live in tools/ and scripts/.
include(cmake/tests.cmake)
