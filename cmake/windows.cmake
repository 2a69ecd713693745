# The Windows build, cross-compiled with mingw-w64: 32-bit (cmake/toolchain-mingw-i686.cmake) or 64-bit
# (cmake/toolchain-mingw-x86_64.cmake), its tests run under Wine of the same width. Included by the root
# CMakeLists.txt in place of the Linux package look-ups.

if(VELISSA_SANITIZE)
  message(FATAL_ERROR "The sanitizers are not available with mingw-w64; configure without VELISSA_SANITIZE")
endif()

enable_language(RC)

# Vista is the oldest Windows the executables run on (the posix thread runtime imports GetTickCount64):
# their headers say so, where the linker's default of 4.0 would claim Windows 95.
add_link_options(-Wl,--major-subsystem-version,6,--minor-subsystem-version,0
                 -Wl,--major-os-version,6,--minor-os-version,0)

# Tools run during the build (the icon generator) are built for the build machine.
set(VELISSA_HOST_CXX c++ CACHE STRING "C++ compiler of the build machine, for tools run during the build")

# DevIL has no mingw-w64 package. Its header is Debian's (libdevil-dev): plain C declarations that
# compile for mingw-w64 as they stand, with __stdcall and dllimport. The import library is made from
# DevIL.def; the user's DevIL.dll is found beside the program at run time. Modules link PkgConfig::IL on
# every platform.
set(VELISSA_DEVIL_HEADER /usr/include/IL/il.h CACHE FILEPATH "DevIL's il.h, used for the Windows build")
if(NOT EXISTS ${VELISSA_DEVIL_HEADER})
  message(FATAL_ERROR "DevIL's header ${VELISSA_DEVIL_HEADER} is missing (Debian: libdevil-dev)")
endif()
set(devil_dir ${CMAKE_BINARY_DIR}/devil)
configure_file(${VELISSA_DEVIL_HEADER} ${devil_dir}/include/IL/il.h COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/DevIL.def)
# DevIL.def names the functions as i686 decorates __stdcall ones (ilInit@0); x86-64 has one calling
# convention and no decoration, so there the import library binds the plain names.
file(READ ${CMAKE_CURRENT_LIST_DIR}/DevIL.def devil_def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  string(REGEX REPLACE "@[0-9]+" "" devil_def "${devil_def}")
endif()
file(WRITE ${devil_dir}/DevIL.def "${devil_def}")
execute_process(
  COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${devil_dir}/DevIL.def --dllname DevIL.dll
          --output-lib ${devil_dir}/libDevIL.dll.a
  RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make the DevIL import library")
endif()
add_library(PkgConfig::IL STATIC IMPORTED)
set_target_properties(PkgConfig::IL PROPERTIES
  IMPORTED_LOCATION ${devil_dir}/libDevIL.dll.a
  INTERFACE_INCLUDE_DIRECTORIES ${devil_dir}/include)

if(VELISSA_BUILD_TESTS)
  # GoogleTest from Debian's sources (googletest), built for Windows with the project.
  set(VELISSA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELISSA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  # CTest starts every test program through Wine of the build's width, in a prefix of this build (made
  # by scripts/windows.sh), with the stand-in DevIL.dll of tests/windows on Wine's search path.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELISSA_WINEARCH win64)
  else()
    set(VELISSA_WINEARCH win32)
  endif()
  set(VELISSA_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
  set(VELISSA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "Wine prefix the tests run in")
  set(VELISSA_DEVIL_STANDIN_DIR ${CMAKE_BINARY_DIR}/devil-standin)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${VELISSA_WINE_RUN} ${VELISSA_WINEARCH} ${VELISSA_WINE_PREFIX} ${VELISSA_DEVIL_STANDIN_DIR})
endif()
