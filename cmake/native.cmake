# Native Linux build: the portable core with its tests, the tools and the
# benchmarks.
option(VOXOTROPE_INSTALLED_ONLY "Native build of only what is installed (run.sh --install, package.sh)" OFF)
if(VOXOTROPE_INSTALLED_ONLY)
  add_subdirectory(tools/settings)
  add_subdirectory(tools/render)
  add_subdirectory(tools/live)
  add_subdirectory(tools/lv2)
  return()
endif()

find_package(GTest REQUIRED)
include(cmake/speech.cmake)

add_executable(voxotrope-native-tests)
target_link_libraries(voxotrope-native-tests PRIVATE voxotrope_core GTest::gtest_main)
add_test(NAME native COMMAND voxotrope-native-tests)

add_subdirectory(effects/tests)
add_subdirectory(effects/fuzz)
add_subdirectory(tools/settings)
add_subdirectory(tools/render)
add_subdirectory(tools/live)
add_subdirectory(tools/lv2)
add_subdirectory(bench)
