# The fuzz targets' seed corpus from a plain build of make_seeds on the build machine, written to
# <build>/fuzz-seeds/<target>/: the Windows suite feeds it through DevIL.dll (tests/windows/).
# Included by the root CMakeLists.txt on Linux; the fuzz project itself (fuzz/CMakeLists.txt) needs clang.
pkg_check_modules(WEBP IMPORTED_TARGET libwebp)
if(NOT WEBP_FOUND)
  message(STATUS "fuzz seeds: libwebp not found (Debian: libwebp-dev); the seed corpus is not made")
  return()
endif()
add_executable(make_seeds EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/make_seeds.cpp)
target_include_directories(make_seeds PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(make_seeds PRIVATE velissa_catalogue velissa_package velissa_platform_headless
  PkgConfig::IL PkgConfig::WEBP ZLIB::ZLIB)
set(seeds_dir ${CMAKE_BINARY_DIR}/fuzz-seeds)
add_custom_command(OUTPUT ${seeds_dir}/stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${seeds_dir}
  COMMAND make_seeds ${seeds_dir}
  COMMAND ${CMAKE_COMMAND} -E touch ${seeds_dir}/stamp
  DEPENDS make_seeds
  COMMENT "Writing the fuzz seeds")
# Only a build with the tests makes them unasked; a user's build has no use for them.
if(VELISSA_BUILD_TESTS)
  set(seeds_all ALL)
endif()
add_custom_target(velissa_fuzz_seeds ${seeds_all} DEPENDS ${seeds_dir}/stamp)
