# Cross-building for 32-bit Windows with mingw-w64, posix thread model (the
# C++ runtime's std::mutex, which GoogleTest needs, then works; programs ship
# libwinpthread-1.dll); programs run under wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(QUORVAN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVAN_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QUORVAN_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUORVAN_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Every processor that runs a supported Windows has SSE2: floating-point math
# in SSE registers, not on the x87 stack that the compiler's default
# (pentiumpro) uses, and SSE2 code where it vectorizes. The x87 code made
# libmpg123's dequantization alone a third of a conversion's time under wine,
# and rounds differently from the 64-bit Linux build. (mingw-w64 realigns the
# stack where SSE needs it: -mstackrealign is its default for this target.)
set(QUORVAN_WIN32_FLAGS "-msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${QUORVAN_WIN32_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${QUORVAN_WIN32_FLAGS}")

# The cross-built dependencies (GoogleTest, libmpg123, libsoxr) live under
# QUORVAN_WIN32_DEPS; nothing is taken from the build machine's own folders.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVAN_MINGW_TRIPLE} ${QUORVAN_WIN32_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers from the cross-built dependencies only.
if(QUORVAN_WIN32_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${QUORVAN_WIN32_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Test programs and discovery run under wine.
find_program(QUORVAN_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVAN_WINE})

# try_compile projects load this file again: hand them the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVAN_WIN32_DEPS)
