# What the 32-bit and 64-bit mingw-w64 cross builds share; each toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and VELISSA_MINGW_PREFIX, then includes this.
# The compilers of the posix thread model: GCC 12's win32 model has no std::mutex or std::thread, which
# GoogleTest and the tests need. Programs are linked statically (libgcc, libstdc++, winpthread), so
# they need no DLL of the toolchain at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELISSA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELISSA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELISSA_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${VELISSA_MINGW_PREFIX}-dlltool)

# Headers and libraries of the target only; programs (and CMake packages) of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELISSA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev, linked into the program rather than shipped as zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
