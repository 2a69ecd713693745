# Cross build for 32-bit Windows with Debian's mingw-w64 (i686-w64-mingw32).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELISSA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# Floating point in SSE2 registers, so that doubles round as IEEE doubles, as on x86-64: the x87
# unit's wider intermediates would time a frame of 0.1 s one millisecond late (100 x 0.001 < 0.1).
# Every x86 processor since 2001 has SSE2, and Windows itself needs it since Windows 8.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
