# The built-in shaders: assembled at build time by tools/shaderasm (a Windows program, run
# under Wine through a wine-run wrapper; the assembler needs no display), packed by
# tools/kvapack into LZ-compressed blobs and compiled into the library as data.
#
#   2D pixel shaders -> stored KVA archive -> LZ block      (BuiltInShaderBlob2D)
#   filter shaders   -> stored KVA archive -> LZ block      (BuiltInShaderBlobFilter)
#   model shaders    -> code table         -> LZ block      (BuiltInShaderBlobModel)
#   RGBA-mix pack    -> code table         -> LZ block      (BuiltInShaderBlobRgbaMix)
set(SHADER_SOURCE_DIR ${PROJECT_SOURCE_DIR}/korvel/graphics/shaders)
set(SHADER_BUILD_DIR ${CMAKE_BINARY_DIR}/shaders)
# Every archive is enciphered with the library's own key string (compiled in with the blobs).
set(SHADER_ARCHIVE_KEY "Korvel built-in shaders")

# The assembler runs at build time, so it is built for an architecture this machine runs: the
# library's own, except for the i686 build on a machine whose kernel runs no 32-bit programs
# (32-bit Wine cannot start there), which builds an x86_64 assembler and runs it under wine64
# in a prefix of its own. The byte code does not depend on the assembler's architecture.
if(NOT DEFINED KORVEL_SHADERASM_ARCH)
  set(shaderasm_arch ${KORVEL_ARCH})
  if(KORVEL_ARCH STREQUAL "i686")
    execute_process(COMMAND bash -c ". '${PROJECT_SOURCE_DIR}/scripts/arch.sh' && korvel_kernel_runs_32bit"
      RESULT_VARIABLE runs_32bit)
    if(NOT runs_32bit EQUAL 0)
      set(shaderasm_arch x86_64)
    endif()
  endif()
  set(KORVEL_SHADERASM_ARCH ${shaderasm_arch} CACHE STRING "Windows architecture of the build-time shader assembler: i686 or x86_64")
endif()
if(NOT KORVEL_SHADERASM_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "KORVEL_SHADERASM_ARCH must be i686 or x86_64, not ${KORVEL_SHADERASM_ARCH}")
endif()
message(STATUS "Shader assembler: ${KORVEL_SHADERASM_ARCH}")
include(ExternalProject)
set(SHADERASM_BINARY_DIR ${CMAKE_BINARY_DIR}/tools/shaderasm)
set(SHADERASM ${SHADERASM_BINARY_DIR}/shaderasm.exe)
set(SHADERASM_ARGS -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${KORVEL_SHADERASM_ARCH}-w64-mingw32.cmake)
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND SHADERASM_ARGS -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
ExternalProject_Add(shaderasm
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/shaderasm
  BINARY_DIR ${SHADERASM_BINARY_DIR}
  CMAKE_ARGS ${SHADERASM_ARGS}
  INSTALL_COMMAND ""
  BUILD_ALWAYS 1
  BUILD_BYPRODUCTS ${SHADERASM})
if(KORVEL_SHADERASM_ARCH STREQUAL KORVEL_ARCH)
  set(SHADERASM_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
else()
  set(SHADERASM_WINE_RUN ${SHADERASM_BINARY_DIR}-wine/wine-run)
  korvel_wine_run(${SHADERASM_BINARY_DIR}-wine ${KORVEL_SHADERASM_ARCH})
endif()

# The 64 textured pixel shaders from their one template.
set(BLEND_SOURCES)
foreach(b 0 1 2 3)
  foreach(t 0 1 2 3)
    foreach(c 0 1)
      foreach(a 0 1)
        list(APPEND BLEND_SOURCES ${SHADER_BUILD_DIR}/src/ps_blend${b}_type${t}_igcolor${c}_igtalpha${a}.psh)
      endforeach()
    endforeach()
  endforeach()
endforeach()
add_custom_command(OUTPUT ${BLEND_SOURCES}
  COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${SHADER_SOURCE_DIR}/ps_blend.psh.in -DOUT_DIR=${SHADER_BUILD_DIR}/src
          -P ${PROJECT_SOURCE_DIR}/cmake/gen_blend_shaders.cmake
  DEPENDS ${SHADER_SOURCE_DIR}/ps_blend.psh.in ${PROJECT_SOURCE_DIR}/cmake/gen_blend_shaders.cmake
          ${PROJECT_SOURCE_DIR}/cmake/write_shader.cmake
  COMMENT "Generating the textured pixel shaders")

file(GLOB SHADER_2D_SOURCES CONFIGURE_DEPENDS ${SHADER_SOURCE_DIR}/*.psh)
list(APPEND SHADER_2D_SOURCES ${BLEND_SOURCES})
file(GLOB MODEL_SHADER_SOURCES CONFIGURE_DEPENDS ${SHADER_SOURCE_DIR}/model/*)
# The graph filters' pixel shaders, one file each, named as the filters ask for them: written
# by hand, or generated as the variants of one rule.
file(GLOB SHADER_FILTER_SOURCES CONFIGURE_DEPENDS ${SHADER_SOURCE_DIR}/filter/*.psh)
set(FILTER_GENERATED_NAMES DownScaleX2 DownScaleX4 DownScaleX8 GradientMap GradientMapRev Hsb_RGB_TO_HSB
    Hsb_HSB_TO_RGB Hsb_HSB_HLOCK Gauss_08Pixel_PS Gauss_16Pixel_PS Gauss_32Pixel_PS)
foreach(name Normal Multiple Difference Add Screen Overlay Dodge Burn Darken Lighten SoftLight HardLight Exclusion
             Normal_AlphaCh Add_AlphaCh Multiple_AOnly)
  list(APPEND FILTER_GENERATED_NAMES BasBF_${name})
endforeach()
foreach(colour SRSGSB SRSRSR SGSGSG SBSBSB)
  foreach(alpha R G B A)
    list(APPEND FILTER_GENERATED_NAMES RGBAMix_${colour}B${alpha})
  endforeach()
endforeach()
set(FILTER_GENERATED_SOURCES)
foreach(name ${FILTER_GENERATED_NAMES})
  list(APPEND FILTER_GENERATED_SOURCES ${SHADER_BUILD_DIR}/src/filter/${name}.psh)
endforeach()
# The RGBA-mix pack: 256 generated sources and the list shaderasm builds its code table from.
set(MIX_PACK_DIR ${SHADER_BUILD_DIR}/src/rgba_mix)
set(MIX_PACK_LIST ${MIX_PACK_DIR}/list.txt)
set(MIX_PACK_SOURCES)
foreach(index RANGE 255)
  list(APPEND MIX_PACK_SOURCES ${MIX_PACK_DIR}/pack_${index}.psh)
endforeach()
add_custom_command(OUTPUT ${FILTER_GENERATED_SOURCES} ${MIX_PACK_SOURCES} ${MIX_PACK_LIST}
  COMMAND ${CMAKE_COMMAND} -DOUT_DIR=${SHADER_BUILD_DIR}/src/filter -DPACK_DIR=${MIX_PACK_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/gen_filter_shaders.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/gen_filter_shaders.cmake ${PROJECT_SOURCE_DIR}/cmake/write_shader.cmake
  COMMENT "Generating the filter pixel shaders")
list(APPEND SHADER_FILTER_SOURCES ${FILTER_GENERATED_SOURCES})
set(SHADER_2D_OBJECTS)
foreach(src ${SHADER_2D_SOURCES})
  get_filename_component(stem ${src} NAME_WE)
  list(APPEND SHADER_2D_OBJECTS ${SHADER_BUILD_DIR}/2d/${stem}.pso)
endforeach()
set(SHADER_FILTER_OBJECTS)
foreach(src ${SHADER_FILTER_SOURCES})
  get_filename_component(stem ${src} NAME_WE)
  list(APPEND SHADER_FILTER_OBJECTS ${SHADER_BUILD_DIR}/filter/${stem}.pso)
endforeach()
set(MODEL_TABLE ${SHADER_BUILD_DIR}/model_table.bin)
set(MIX_TABLE ${SHADER_BUILD_DIR}/rgba_mix_table.bin)
add_custom_command(OUTPUT ${SHADER_2D_OBJECTS} ${SHADER_FILTER_OBJECTS} ${MODEL_TABLE} ${MIX_TABLE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${SHADER_BUILD_DIR}/2d ${SHADER_BUILD_DIR}/filter
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SHADER_BUILD_DIR}/2d
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SHADER_BUILD_DIR}/filter
  COMMAND ${CMAKE_COMMAND} -E env KORVEL_WINE_NO_DISPLAY=1 ${SHADERASM_WINE_RUN} ${SHADERASM} --out ${SHADER_BUILD_DIR}/2d ${SHADER_2D_SOURCES}
          --out ${SHADER_BUILD_DIR}/filter ${SHADER_FILTER_SOURCES}
          --model-table ${MODEL_TABLE} ${SHADER_SOURCE_DIR}/model/table.txt --mix-table ${MIX_TABLE} ${MIX_PACK_LIST}
  DEPENDS shaderasm ${SHADERASM} ${SHADER_2D_SOURCES} ${SHADER_FILTER_SOURCES} ${MODEL_SHADER_SOURCES} ${MIX_PACK_SOURCES}
          ${MIX_PACK_LIST}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Assembling the built-in shaders under Wine")

# Archives (entries stored, so that shaders are used in place) and LZ blocks.
set(BLOB_2D ${SHADER_BUILD_DIR}/shaders_2d.lz)
set(BLOB_FILTER ${SHADER_BUILD_DIR}/shaders_filter.lz)
set(BLOB_MODEL ${SHADER_BUILD_DIR}/shaders_model.lz)
set(BLOB_MIX ${SHADER_BUILD_DIR}/shaders_rgba_mix.lz)
add_custom_command(OUTPUT ${BLOB_2D}
  COMMAND ${KVAPACK} --compress stored --key ${SHADER_ARCHIVE_KEY} ${SHADER_BUILD_DIR}/shaders_2d.kva ${SHADER_BUILD_DIR}/2d
  COMMAND ${KVAPACK} --lz ${SHADER_BUILD_DIR}/shaders_2d.kva ${BLOB_2D}
  DEPENDS kvapack ${KVAPACK} ${SHADER_2D_OBJECTS}
  COMMENT "Packing the 2D pixel shaders")
add_custom_command(OUTPUT ${BLOB_FILTER}
  COMMAND ${KVAPACK} --compress stored --key ${SHADER_ARCHIVE_KEY} ${SHADER_BUILD_DIR}/shaders_filter.kva ${SHADER_BUILD_DIR}/filter
  COMMAND ${KVAPACK} --lz ${SHADER_BUILD_DIR}/shaders_filter.kva ${BLOB_FILTER}
  DEPENDS kvapack ${KVAPACK} ${SHADER_FILTER_OBJECTS}
  COMMENT "Packing the filter shaders")
add_custom_command(OUTPUT ${BLOB_MODEL} ${BLOB_MIX}
  COMMAND ${KVAPACK} --lz ${MODEL_TABLE} ${BLOB_MODEL}
  COMMAND ${KVAPACK} --lz ${MIX_TABLE} ${BLOB_MIX}
  DEPENDS kvapack ${KVAPACK} ${MODEL_TABLE} ${MIX_TABLE}
  COMMENT "Compressing the shader code tables")

set(SHADER_BLOBS_CPP ${SHADER_BUILD_DIR}/shader_blobs.cpp)
add_custom_command(OUTPUT ${SHADER_BLOBS_CPP}
  COMMAND ${CMAKE_COMMAND} -DOUT=${SHADER_BLOBS_CPP} -DHEADER=graphics/device/shader_blobs.h "-DKEY=${SHADER_ARCHIVE_KEY}"
          "-DBLOBS=BuiltInShaderBlob2D=${BLOB_2D}\;BuiltInShaderBlobFilter=${BLOB_FILTER}\;BuiltInShaderBlobModel=${BLOB_MODEL}\;BuiltInShaderBlobRgbaMix=${BLOB_MIX}"
          -P ${PROJECT_SOURCE_DIR}/cmake/embed_blobs.cmake
  DEPENDS ${BLOB_2D} ${BLOB_FILTER} ${BLOB_MODEL} ${BLOB_MIX} ${PROJECT_SOURCE_DIR}/cmake/embed_blobs.cmake
  COMMENT "Embedding the shader blobs")
target_sources(korvel PRIVATE ${SHADER_BLOBS_CPP})
