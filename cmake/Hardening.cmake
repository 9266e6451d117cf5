# The hardening Debian's packaging gives a build (dpkg-buildflags with
# hardening=+all), in every build of the project, not only in the packages:
#   - the stack protector on functions with arrays or addresses of locals
#     (-fstack-protector-strong), on Linux and Windows;
#   - the C library's checked string and memory functions when optimising
#     (_FORTIFY_SOURCE=2: Release, RelWithDebInfo, MinSizeRel), on Linux;
#   - relocations read-only after start and resolved at load (-z relro,
#     -z now), and the command built as a position-independent executable
#     (CMAKE_POSITION_INDEPENDENT_CODE with check_pie_supported), on Linux.
# On Windows the linker marks every binary DYNAMIC_BASE and NX_COMPAT by
# itself; the stack protector's failure handler comes from GCC's libssp,
# linked statically into what ships (-static, cmake/Win32Runtime.cmake) and
# taken as libssp-0.dll by the tests like the rest of the runtime.
# The sanitizer and fuzz builds leave _FORTIFY_SOURCE out: its checked
# functions bypass the sanitizers' own checks of the same calls. A build whose
# flags already set _FORTIFY_SOURCE (Debian's packaging, a distribution's
# policy) keeps its own level.
option(QUORVAN_HARDEN "Build with the stack protector, _FORTIFY_SOURCE=2, full RELRO and PIE" ON)
if(NOT QUORVAN_HARDEN OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

add_compile_options(-fstack-protector-strong)
if(WIN32)
  # The driver adds libssp only when it sees the option at the link too.
  add_link_options(-fstack-protector-strong)
  return()
endif()

if(NOT (QUORVAN_SANITIZE OR QUORVAN_TSAN OR QUORVAN_FUZZ)
   AND NOT "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "_FORTIFY_SOURCE")
  # -U first: some compilers define it on their own, at another level.
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(LINKER:-z,relro LINKER:-z,now)
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
