# Cross build for 32-bit Windows with Debian's mingw-w64 (i686-w64-mingw32).
# The compilers of the posix thread model: GCC 12's win32 model has no std::mutex or std::thread, which
# GoogleTest and the tests need. Programs are linked statically (libgcc, libstdc++, winpthread), so
# they need no DLL of the toolchain at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VELISSA_MINGW_PREFIX i686-w64-mingw32)
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

# Floating point in SSE2 registers, so that doubles round as IEEE doubles, as on x86-64: the x87
# unit's wider intermediates would time a frame of 0.1 s one millisecond late (100 x 0.001 < 0.1).
# Every x86 processor since 2001 has SSE2, and Windows itself needs it since Windows 8.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
