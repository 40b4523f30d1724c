# Windows build: the program, and (unless compile-only) the test program that
# ctest runs under Wine.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")

set(VOXOTROPE_WIN_LIBS dsound dxguid comctl32 comdlg32 gdi32 user32 kernel32)

# Everything of the program but its entry point, so that the tests drive the
# same window procedures and audio code.
add_library(voxotrope_win STATIC)
target_include_directories(voxotrope_win PUBLIC
  ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR}/audio ${CMAKE_SOURCE_DIR}/ui ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(voxotrope_win PUBLIC voxotrope_core ${VOXOTROPE_WIN_LIBS})
target_sources(voxotrope_win PRIVATE ${CMAKE_SOURCE_DIR}/effects/carrier_file.cpp)
add_subdirectory(audio)
add_subdirectory(ui)
add_subdirectory(app)

# windres does not report the files the script includes: rebuild it whenever
# a picture changes.
file(GLOB VOXOTROPE_PICTURES ${CMAKE_SOURCE_DIR}/resources/bitmaps/*)
set_source_files_properties(resources/voxotrope.rc PROPERTIES OBJECT_DEPENDS "${VOXOTROPE_PICTURES}")

add_executable(voxotrope WIN32 app/entry.cpp resources/voxotrope.rc)
target_link_libraries(voxotrope PRIVATE voxotrope_win)

# The same program with a trace of its block steps, for streaming tests and
# measurements only.
add_executable(voxotrope-trace WIN32 tools/trace/trace_entry.cpp resources/voxotrope.rc)
target_link_libraries(voxotrope-trace PRIVATE voxotrope_win)

if(NOT VOXOTROPE_COMPILE_ONLY)
  # GoogleTest from Debian's sources, built with the MinGW compilers; its own
  # code is not held to our warning flags.
  get_directory_property(own_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${own_options}")

  add_executable(voxotrope-wine-tests resources/voxotrope.rc)
  target_link_libraries(voxotrope-wine-tests PRIVATE voxotrope_win gtest_main)
  add_test(NAME wine COMMAND voxotrope-wine-tests)
  set_tests_properties(wine PROPERTIES TIMEOUT 300)

  add_subdirectory(resources/tests)
  add_subdirectory(audio/tests)
  add_subdirectory(effects/tests)
  add_subdirectory(ui/tests)
  add_subdirectory(app/tests)
  add_subdirectory(tools/launcher/tests)
  add_subdirectory(scripts/tests)
  add_subdirectory(tools/soundprobe)
endif()
