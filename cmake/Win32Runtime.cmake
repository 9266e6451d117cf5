# The C++ runtime on Windows.
#
# What ships (Quorvan.dll, ma32.dll, masd32.dll, quorvan.exe) links libgcc,
# libstdc++ and winpthread statically (quorvan_static_runtime): it imports
# only DLLs that Windows itself ships, and no exception of this compiler ever
# crosses its boundary.
#
# The test programs and the scripted decoder doubles take the runtime as DLLs
# instead (quorvan_shared_runtime in their folders): one unwinder and one set
# of type records, so that the exception a double throws out of its module on
# purpose reaches the test that links the converter.
if(NOT QUORVAN_MINGW_RUNTIME_DIR)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                  OUTPUT_VARIABLE stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(QUORVAN_MINGW_RUNTIME_DIR "${stdcxx}" DIRECTORY)
endif()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(winpthread "${winpthread}" REALPATH)
set(QUORVAN_RUNTIME_DLLS
  ${QUORVAN_MINGW_RUNTIME_DIR}/libstdc++-6.dll
  ${QUORVAN_MINGW_RUNTIME_DIR}/libgcc_s_dw2-1.dll
  ${QUORVAN_MINGW_RUNTIME_DIR}/libssp-0.dll  # the stack protector's (cmake/Hardening.cmake)
  ${winpthread})
foreach(dll ${QUORVAN_RUNTIME_DLLS})
  if(NOT EXISTS ${dll})
    message(FATAL_ERROR "runtime DLL not found: ${dll}")
  endif()
endforeach()

# A binary that ships: the runtime linked in, with its own unwind tables
# registered with its own unwinder whatever else the process holds. It runs
# on Windows XP SP3 and later: its PE header asks for Windows 5.1 (XP), and
# the runtime's one call newer than XP is answered within (TickCountOnXp.cpp);
# tests/windows/CheckImportsPE.cmake checks every import against XP's DLLs.
# The linker's map (link-maps/TARGET.map) says which libraries went in: the
# third-party notices are checked against it (tests/packages/check-notices.sh).
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/link-maps)
function(quorvan_static_runtime target)
  target_link_options(${target} PRIVATE -static "LINKER:-Map=${PROJECT_BINARY_DIR}/link-maps/${target}.map"
    LINKER:--major-os-version=5,--minor-os-version=1,--major-subsystem-version=5,--minor-subsystem-version=1)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/win32/runtime/OwnUnwindTables.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/win32/runtime/TickCountOnXp.cpp)
endfunction()

# Every binary made in the calling folder takes the runtime as DLLs.
macro(quorvan_shared_runtime)
  add_link_options(-shared-libgcc)
endmacro()

# Copies the runtime DLLs and the project DLLs TARGET links into its folder
# after every build of it.
function(quorvan_copy_runtime target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVAN_RUNTIME_DLLS} $<TARGET_RUNTIME_DLLS:${target}>
            $<TARGET_FILE_DIR:${target}>
    COMMAND_EXPAND_LISTS)
endfunction()
