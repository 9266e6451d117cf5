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
