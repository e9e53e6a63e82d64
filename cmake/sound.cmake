# The Ogg fixtures of the sound tests: written at build time by tools/oggmake, a native host
# program built like kvapack (Debian's Vorbis and Theora encoders), into build/fixtures/sound.
include(ExternalProject)
set(OGGMAKE_BINARY_DIR ${CMAKE_BINARY_DIR}/tools/oggmake)
set(OGGMAKE ${OGGMAKE_BINARY_DIR}/oggmake)
ExternalProject_Add(oggmake
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/oggmake
  BINARY_DIR ${OGGMAKE_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=c++
  INSTALL_COMMAND ""
  BUILD_ALWAYS 1
  BUILD_BYPRODUCTS ${OGGMAKE})
set(SOUND_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures/sound)
set(SOUND_FIXTURES)
foreach(name tone_44k_stereo_2s tone_44k_stereo_half tone_44k_stereo_tenth empty_44k_stereo tone_22k_mono_1s tone_8k_mono_180s tone_8k_mono_200s
        tiny_44k_stereo_3f silence_22k_stereo_half theora_first_22k chain_44k_stereo_twice chain_44k_stereo_then_22k_mono)
  list(APPEND SOUND_FIXTURES ${SOUND_FIXTURE_DIR}/${name}.ogg)
endforeach()
add_custom_command(OUTPUT ${SOUND_FIXTURES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SOUND_FIXTURE_DIR}
  COMMAND ${OGGMAKE} ${SOUND_FIXTURE_DIR}
  DEPENDS oggmake ${OGGMAKE}
  COMMENT "Writing the Ogg fixtures of the sound tests")
# The WAVE and MP3 fixtures: tools/wavemake, built the same way (Debian's LAME library).
set(WAVEMAKE_BINARY_DIR ${CMAKE_BINARY_DIR}/tools/wavemake)
set(WAVEMAKE ${WAVEMAKE_BINARY_DIR}/wavemake)
ExternalProject_Add(wavemake
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/wavemake
  BINARY_DIR ${WAVEMAKE_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=c++
  INSTALL_COMMAND ""
  BUILD_ALWAYS 1
  BUILD_BYPRODUCTS ${WAVEMAKE})
set(WAVE_FIXTURES)
foreach(name tone_44k_stereo_1s.wav tone_22k_mono_half.wav tone_48k_stereo_float.wav tone_22k_stereo_ima.wav
        tone_44k_stereo_2s.mp3 tone_22k_mono_1s.mp3 tone_44k_stereo_1s_free.mp3)
  list(APPEND WAVE_FIXTURES ${SOUND_FIXTURE_DIR}/${name})
endforeach()
add_custom_command(OUTPUT ${WAVE_FIXTURES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SOUND_FIXTURE_DIR}
  COMMAND ${WAVEMAKE} ${SOUND_FIXTURE_DIR}
  DEPENDS wavemake ${WAVEMAKE}
  COMMENT "Writing the WAVE and MP3 fixtures of the sound tests")
add_custom_target(sound_fixtures ALL DEPENDS ${SOUND_FIXTURES} ${WAVE_FIXTURES})

file(GLOB SOUND_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/sound/test_*.cpp)
foreach(src ${SOUND_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_dependencies(sound_${name} sound_fixtures)
endforeach()

# The back-end choice again with parts of XAudio2 and DirectSound switched off by Wine DLL
# overrides, and once without any output device (an ALSA without configuration); each run
# checks its log lines and the back-end it ended with.
set(SOUND_OVERRIDE_RUNS
  "xaudio2.7|xaudio2_8=d|"
  "no-x3daudio|xaudio2_8,x3daudio1_7=d|"
  "no-xaudio2|xaudio2_8,xaudio2_7=d|"
  "none|xaudio2_8,xaudio2_7,dsound=d|"
  "no-endpoint||ALSA_CONFIG_PATH=/dev/null")
foreach(run ${SOUND_OVERRIDE_RUNS})
  string(REPLACE "|" ";" fields "${run}")
  list(GET fields 0 expect)
  list(GET fields 1 overrides)
  list(GET fields 2 extra)
  string(REPLACE "." "" label "${expect}")
  string(REPLACE "-" "_" label "${label}")
  set(name sound_backend_${label})
  set(workdir ${CMAKE_BINARY_DIR}/testrun/${name})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${name} COMMAND sound_test_sound_backends --gtest_filter=SoundBackend.ChoiceFollowsTheDllOverrides
    WORKING_DIRECTORY ${workdir})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT
    "KORVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};KORVEL_SOUND_EXPECT=${expect};WINEDLLOVERRIDES=mscoree,mshtml=\\;${overrides};${extra}")
endforeach()
