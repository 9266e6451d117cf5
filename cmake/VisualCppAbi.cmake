# Programs and DLLs with the Visual C++ ABI (its name decoration, class
# layout, __thiscall and C++ exceptions) in a build whose own compiler is
# mingw-w64 g++: compiled with clang-cl for i686-pc-windows-msvc and linked
# with lld-link, through custom commands, against import libraries made from
# .def files with llvm-dlltool. No Windows SDK and no Visual C++ runtime
# library is used: the programs bring their own start-up and import
# msvcrt.dll, kernel32.dll and what else their .def files name.
#
#   quorvan_vc_import_library(TARGET DEF file.def)
#       makes TARGET's import library (its file: the target property
#       QUORVAN_VC_IMPLIB) from a .def of the DLL's exports, e.g. stdcall
#       names with their @N decoration (dropped from the imported names).
#   quorvan_vc_binary(TARGET EXE|DLL OUTPUT file SOURCES ...
#                     [INCLUDES dir...] [DEFINES name[=value]...]
#                     [LIBS target-or-file...] [DEF exports.def] [FLAGS ...])
#       compiles SOURCES into OUTPUT. LIBS are import libraries: targets of
#       quorvan_vc_import_library or of another DLL of quorvan_vc_binary, or
#       .lib files. A DLL's import library lies beside it (NAME.lib); its
#       exports come from DEF. A console program enters at mainCRTStartup.
#       The file is the target property QUORVAN_VC_FILE.
include_guard(GLOBAL)

find_program(QUORVAN_CLANG_CL NAMES clang-cl-14 clang-cl REQUIRED)
find_program(QUORVAN_LLD_LINK NAMES lld-link-14 lld-link REQUIRED)
find_program(QUORVAN_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)

# /EHsc: Visual C++ exceptions. Thread-safe statics and sized deallocation
# would need the runtime library's helpers, which msvcrt.dll does not have.
set(QUORVAN_VC_FLAGS
  --target=i686-pc-windows-msvc /nologo /O2 /Z7 /EHsc /GS /W4
  /Zc:threadSafeInit- /Zc:sizedDealloc- /X
  CACHE STRING "clang-cl flags of the Visual C++-ABI programs")

function(quorvan_vc_import_library target)
  cmake_parse_arguments(PARSE_ARGV 1 VC "" "DEF" "")
  get_filename_component(vc_def ${VC_DEF} ABSOLUTE)
  get_filename_component(name ${vc_def} NAME_WE)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/${name}.lib)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${QUORVAN_LLVM_DLLTOOL} -m i386 -k -d ${vc_def} -l ${lib}
    DEPENDS ${vc_def}
    COMMENT "Import library ${name}.lib")
  add_custom_target(${target} DEPENDS ${lib})
  set_target_properties(${target} PROPERTIES QUORVAN_VC_IMPLIB ${lib})
endfunction()

function(quorvan_vc_binary target kind)
  cmake_parse_arguments(PARSE_ARGV 2 VC "" "OUTPUT;DEF" "SOURCES;INCLUDES;DEFINES;LIBS;FLAGS")
  if(NOT kind MATCHES "^(EXE|DLL)$" OR NOT VC_OUTPUT OR NOT VC_SOURCES)
    message(FATAL_ERROR "quorvan_vc_binary(${target}): EXE or DLL, OUTPUT and SOURCES are needed")
  endif()
  set(flags ${QUORVAN_VC_FLAGS} ${VC_FLAGS})
  foreach(dir ${VC_INCLUDES})
    get_filename_component(dir ${dir} ABSOLUTE)
    list(APPEND flags /I${dir})
  endforeach()
  foreach(define ${VC_DEFINES})
    list(APPEND flags /D${define})
  endforeach()

  set(objdir ${CMAKE_CURRENT_BINARY_DIR}/${target}.dir)
  file(MAKE_DIRECTORY ${objdir})
  set(objects)
  foreach(source ${VC_SOURCES})
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(stem ${source} NAME_WE)
    set(object ${objdir}/${stem}.obj)
    if(object IN_LIST objects)
      message(FATAL_ERROR "quorvan_vc_binary(${target}): two sources named ${stem}")
    endif()
    # "--" ends the options: clang-cl takes /work/... for an option otherwise.
    add_custom_command(OUTPUT ${object}
      COMMAND ${QUORVAN_CLANG_CL} ${flags} /clang:-MD /clang:-MF${object}.d /c /Fo${object} -- ${source}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "clang-cl ${target}: ${stem}"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()

  set(libs)
  set(lib_targets)
  foreach(lib ${VC_LIBS})
    if(TARGET ${lib})
      list(APPEND libs $<TARGET_PROPERTY:${lib},QUORVAN_VC_IMPLIB>)
      list(APPEND lib_targets ${lib})
    else()
      list(APPEND libs ${lib})
    endif()
  endforeach()

  get_filename_component(output ${VC_OUTPUT} ABSOLUTE)
  get_filename_component(outdir ${output} DIRECTORY)
  get_filename_component(outname ${output} NAME_WE)
  set(products ${output})
  set(vc_def)
  set(link_flags /nologo /nodefaultlib /debug /pdb:${objdir}/${outname}.pdb)
  if(kind STREQUAL "DLL")
    set(implib ${outdir}/${outname}.lib)
    list(APPEND products ${implib})
    list(APPEND link_flags /dll /implib:${implib})
    if(VC_DEF)
      get_filename_component(vc_def ${VC_DEF} ABSOLUTE)
      list(APPEND link_flags /def:${vc_def})
    endif()
  else()
    list(APPEND link_flags /subsystem:console /entry:mainCRTStartup)
  endif()
  add_custom_command(OUTPUT ${products}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${QUORVAN_LLD_LINK} ${link_flags} /out:${output} ${objects} ${libs}
    DEPENDS ${objects} ${libs} ${vc_def}
    COMMENT "lld-link ${target}: ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${products})
  if(lib_targets)
    add_dependencies(${target} ${lib_targets})
  endif()
  set_target_properties(${target} PROPERTIES QUORVAN_VC_FILE ${output})
  if(kind STREQUAL "DLL")
    set_target_properties(${target} PROPERTIES QUORVAN_VC_IMPLIB ${implib})
  endif()
endfunction()
