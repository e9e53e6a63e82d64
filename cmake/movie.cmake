# Theora decoding: libtheora's decoder (its legacy theora_* interface) over libogg, both
# cross-built in the dependency prefix.
target_link_libraries(korvel PUBLIC ${DEPS}/lib/libtheoradec.a ${DEPS}/lib/libogg.a)

# The test movies: written at build time by tools/theoramake, a native host program built like
# kvapack against Debian's Theora, Vorbis and Ogg encoders, into build/fixtures/movie.
include(ExternalProject)
set(THEORAMAKE_BINARY_DIR ${CMAKE_BINARY_DIR}/tools/theoramake)
set(THEORAMAKE ${THEORAMAKE_BINARY_DIR}/theoramake)
ExternalProject_Add(theoramake
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/theoramake
  BINARY_DIR ${THEORAMAKE_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=c++
  INSTALL_COMMAND ""
  BUILD_ALWAYS 1
  BUILD_BYPRODUCTS ${THEORAMAKE})
set(MOVIE_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures/movie)
set(MOVIE_FIXTURES)
foreach(name basic.ogv multi.ogv span.ogv yuv422.ogv yuv444.ogv long.ogv hole.ogv hole_span.ogv no_frames.ogv
        frames1.ogv frames2.ogv frames10.ogv frames11.ogv frames12.ogv tone.ogg scene720.ogv)
  list(APPEND MOVIE_FIXTURES ${MOVIE_FIXTURE_DIR}/${name})
endforeach()
add_custom_command(OUTPUT ${MOVIE_FIXTURES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MOVIE_FIXTURE_DIR}
  COMMAND ${THEORAMAKE} ${MOVIE_FIXTURE_DIR}
  DEPENDS theoramake ${THEORAMAKE}
  COMMENT "Writing the test movies")
add_custom_target(movie_fixtures ALL DEPENDS ${MOVIE_FIXTURES})

file(GLOB MOVIE_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/movie/test_*.cpp)
foreach(src ${MOVIE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_dependencies(movie_${name} movie_fixtures)
endforeach()
# The device ledger test holds a Theora movie graph.
add_dependencies(graphics_test_device_ledger movie_fixtures)
