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
# DevIL.def; at run time the DevIL.dll beside the program is loaded: the project's own
# (platform/win32/devil/, built into VELISSA_DEVIL_DLL_DIR), or DevIL's of the same width. Modules link
# PkgConfig::IL on every platform.
set(VELISSA_DEVIL_HEADER /usr/include/IL/il.h CACHE FILEPATH "DevIL's il.h, used for the Windows build")
if(NOT EXISTS ${VELISSA_DEVIL_HEADER})
  message(FATAL_ERROR "DevIL's header ${VELISSA_DEVIL_HEADER} is missing (Debian: libdevil-dev)")
endif()
set(devil_dir ${CMAKE_BINARY_DIR}/devil)
set(VELISSA_DEVIL_DLL_DIR ${CMAKE_BINARY_DIR}/devil-dll)
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

# nlohmann-json is headers only, the same for every target: Debian's (nlohmann-json3-dev), copied into
# the build so that the host's other headers stay out of the Windows include path.
set(VELISSA_NLOHMANN_JSON_DIR /usr/include/nlohmann CACHE PATH "nlohmann-json's headers, used for the Windows build")
if(NOT EXISTS ${VELISSA_NLOHMANN_JSON_DIR}/json.hpp)
  message(FATAL_ERROR "nlohmann-json's headers ${VELISSA_NLOHMANN_JSON_DIR} are missing (Debian: nlohmann-json3-dev)")
endif()
file(COPY ${VELISSA_NLOHMANN_JSON_DIR} DESTINATION ${CMAKE_BINARY_DIR}/nlohmann-json/include)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/nlohmann-json/include)

if(VELISSA_BUILD_TESTS)
  # GoogleTest from Debian's sources (googletest), built for Windows with the project.
  set(VELISSA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELISSA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  # CTest starts every test program through Wine of the build's width, in a prefix of this build (made
  # by scripts/windows.sh), with the project's DevIL.dll on Wine's search path.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELISSA_WINEARCH win64)
  else()
    set(VELISSA_WINEARCH win32)
  endif()
  set(VELISSA_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
  set(VELISSA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "Wine prefix the tests run in")
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${VELISSA_WINE_RUN} ${VELISSA_WINEARCH} ${VELISSA_WINE_PREFIX} ${VELISSA_DEVIL_DLL_DIR})
endif()
