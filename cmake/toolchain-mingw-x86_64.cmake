# Cross build for 64-bit Windows with Debian's mingw-w64 (x86_64-w64-mingw32): the same program, tools
# and tests as the 32-bit build, for machines whose Wine cannot run 32-bit programs. Doubles are in
# SSE2 registers on x86-64 already.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELISSA_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
