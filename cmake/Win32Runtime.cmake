# The C++ runtime DLLs that every program and DLL built for Windows needs
# beside it, and a helper that puts them (and the project's own DLLs a target
# links) next to a program that runs outside bin/.
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
  ${winpthread})
# Every DLL and program takes libgcc and libstdc++ as DLLs: one unwinder and
# one set of type records, so exceptions cross DLL boundaries.
add_link_options(-shared-libgcc)
foreach(dll ${QUORVAN_RUNTIME_DLLS})
  if(NOT EXISTS ${dll})
    message(FATAL_ERROR "runtime DLL not found: ${dll}")
  endif()
endforeach()

file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
file(COPY ${QUORVAN_RUNTIME_DLLS} DESTINATION ${PROJECT_BINARY_DIR}/bin)
install(FILES ${QUORVAN_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

# Copies the runtime DLLs and the project DLLs TARGET links into its folder
# after every build of it. With TESTING, the test build of qvafx.dll (the one
# with the test hooks) stands in for the one the target links.
function(quorvan_copy_runtime target)
  set(dlls $<TARGET_RUNTIME_DLLS:${target}>)
  if(ARGN STREQUAL "TESTING")
    set(dlls $<FILTER:${dlls},EXCLUDE,/qvafx\\.dll$> $<TARGET_FILE:quorvan_afx_testing>)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVAN_RUNTIME_DLLS} ${dlls} $<TARGET_FILE_DIR:${target}>
    COMMAND_EXPAND_LISTS)
endfunction()
