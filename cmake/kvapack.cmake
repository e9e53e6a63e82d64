# The archive writer (tools/kvapack) is a native host program: it is configured and built
# with the host compiler as an external project of this cross build, from the same format
# sources as the library's reader. It then packs the test fixture folder into one archive
# of every version the reader reads.
include(ExternalProject)
set(KVAPACK_BINARY_DIR ${CMAKE_BINARY_DIR}/tools/kvapack)
set(KVAPACK ${KVAPACK_BINARY_DIR}/kvapack)
ExternalProject_Add(kvapack
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/kvapack
  BINARY_DIR ${KVAPACK_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=c++
  INSTALL_COMMAND ""
  BUILD_ALWAYS 1
  BUILD_BYPRODUCTS ${KVAPACK})

set(KVA_FIXTURE_SOURCE ${PROJECT_SOURCE_DIR}/tests/file/fixture_tree)
set(KVA_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
file(GLOB_RECURSE KVA_FIXTURE_FILES CONFIGURE_DEPENDS ${KVA_FIXTURE_SOURCE}/*)
set(KVA_FIXTURES)
foreach(version 1 2 4 5)
  foreach(mode stored lz auto)
    if(version LESS 2 AND NOT mode STREQUAL "stored")
      continue()  # version 1 has no compressed entries
    endif()
    set(out ${KVA_FIXTURE_DIR}/tree_v${version}_${mode}.kva)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KVA_FIXTURE_DIR}
      COMMAND ${KVAPACK} --version ${version} --compress ${mode} ${out} ${KVA_FIXTURE_SOURCE}
      DEPENDS kvapack ${KVAPACK} ${KVA_FIXTURE_FILES}
      COMMENT "Packing fixture archive ${out}")
    list(APPEND KVA_FIXTURES ${out})
  endforeach()
endforeach()
# One compressed block, the form of data kept compressed inside the program.
set(out ${KVA_FIXTURE_DIR}/pattern.lz)
add_custom_command(OUTPUT ${out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KVA_FIXTURE_DIR}
  COMMAND ${KVAPACK} --lz ${KVA_FIXTURE_SOURCE}/data/img/deep/pattern.dat ${out}
  DEPENDS kvapack ${KVAPACK} ${KVA_FIXTURE_SOURCE}/data/img/deep/pattern.dat
  COMMENT "Compressing fixture block ${out}")
list(APPEND KVA_FIXTURES ${out})
add_custom_target(kva_fixtures ALL DEPENDS ${KVA_FIXTURES})

# The archive tests build their own archives with the writer's sources compiled in, and
# read the fixtures the tool packed.
foreach(test file_test_kva file_test_vfs movie_test_movie_files)
  if(TARGET ${test})
    target_sources(${test} PRIVATE ${PROJECT_SOURCE_DIR}/tools/kvapack/kva_writer.cpp
      ${PROJECT_SOURCE_DIR}/tools/kvapack/kva_lz_encode.cpp)
    target_include_directories(${test} PRIVATE ${PROJECT_SOURCE_DIR}/tools/kvapack)
    add_dependencies(${test} kva_fixtures)
  endif()
endforeach()
