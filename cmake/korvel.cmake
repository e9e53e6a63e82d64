# The library: every source below korvel/ (one folder per subsystem).
file(GLOB_RECURSE KORVEL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/korvel/*.cpp ${PROJECT_SOURCE_DIR}/korvel/*.c)
add_library(korvel STATIC ${KORVEL_SOURCES})
target_include_directories(korvel PUBLIC ${PROJECT_SOURCE_DIR}/korvel/include PRIVATE ${PROJECT_SOURCE_DIR}/korvel
  ${DEPS}/include)
# Only user32, kernel32, gdi32 and shell32 (and the C runtime) are imported at load time;
# every other system DLL is loaded by name at run time.
target_link_libraries(korvel PUBLIC user32 kernel32 gdi32 shell32)
# The DirectShow and COM interface identifiers: data only, linked statically (no DLL).
target_link_libraries(korvel PUBLIC strmiids uuid)
# Image decoders: libpng and libjpeg as cross-built in the dependency prefix, zlib from the
# mingw package (its static archive, so that no DLL travels with the program).
find_library(KORVEL_ZLIB NAMES libz.a z REQUIRED)
target_link_libraries(korvel PUBLIC ${DEPS}/lib/libpng16.a ${DEPS}/lib/libjpeg.a ${KORVEL_ZLIB})
# Ogg Vorbis decoding for sound: vorbisfile over libvorbis and libogg, cross-built likewise.
target_link_libraries(korvel PUBLIC ${DEPS}/lib/libvorbisfile.a ${DEPS}/lib/libvorbis.a ${DEPS}/lib/libogg.a)

# The grid viewer: WinMain and the resources in the program, the rest (app/viewer_*.cpp) in a
# library that the tests of tests/app link too.
file(GLOB VIEWER_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/viewer_*.cpp)
add_library(quillmere_core STATIC ${VIEWER_SOURCES})
target_include_directories(quillmere_core PUBLIC ${PROJECT_SOURCE_DIR}/app)
target_link_libraries(quillmere_core PUBLIC korvel)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/app/*.rc)
list(FILTER APP_SOURCES EXCLUDE REGEX "/app/viewer_[^/]*\\.cpp$")
add_executable(Quillmere WIN32 ${APP_SOURCES})
target_link_libraries(Quillmere PRIVATE quillmere_core korvel)

# Host-side helpers and their outputs (sample data, tools) live in tools/ and scripts/.
include(cmake/tests.cmake)
include(cmake/sound.cmake)
file(GLOB APP_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/app/test_*.cpp)
foreach(src ${APP_TESTS})
  get_filename_component(name ${src} NAME_WE)
  target_link_libraries(app_${name} PRIVATE quillmere_core)
  add_dependencies(app_${name} Quillmere)
endforeach()
# The program test sends keys to the viewer's window: it needs the display's focus alone.
set_tests_properties(app_test_viewer_program PROPERTIES RUN_SERIAL TRUE)

# The CPU renderer's MMX loops: only these files may use MMX instructions (picked at run time).
file(GLOB KORVEL_MMX_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/korvel/*/*_mmx.cpp)
set_source_files_properties(${KORVEL_MMX_SOURCES} PROPERTIES COMPILE_OPTIONS -mmmx)
