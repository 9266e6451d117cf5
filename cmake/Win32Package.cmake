# The Windows package, quorvan-<version>-win32.zip: the binaries, and what a
# host needs to be built against the library:
#   README.txt
#   bin/        Quorvan.dll, ma32.dll, masd32.dll, quorvan.exe
#   include/    Quorvan.h, with the result codes in it (C++98, for Visual C++ 6)
#   lib/        Quorvan.lib (Visual C++), libQuorvan.dll.a (mingw-w64), Quorvan.def
#   examples/win32-host/   the Visual C++ host, and how to build it
#   LICENSE.txt, THIRD-PARTY-NOTICES.txt, and the full texts of the licences
#   the notices name (LGPL-2.1.txt, GPL-3.txt), taken from this machine's
#   /usr/share/common-licenses when the package is made
# Nothing of the framework goes in: MFC42.DLL is part of Windows (the tests'
# stand-in of it never ships), and the C++ runtime is linked into each binary.
# The texts of our own have Windows' line ends; the licence texts stay byte
# for byte as they are (the notices' test compares them).
set(QUORVAN_WIN32_ZIP ${PROJECT_BINARY_DIR}/quorvan-${PROJECT_VERSION}-win32.zip)
set(stage ${PROJECT_BINARY_DIR}/package-win32)
set(texts ${PROJECT_BINARY_DIR}/package-win32-texts)
set(QUORVAN_WIN32_LICENCE_FILES LICENSE.txt THIRD-PARTY-NOTICES.txt LGPL-2.1.txt GPL-3.txt)
# What lies at the zip's root.
set(QUORVAN_WIN32_PACKAGE_ROOT README.txt bin include lib examples ${QUORVAN_WIN32_LICENCE_FILES})

find_program(QUORVAN_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)

# A text of the package, with Windows' line ends; README.txt's @PROJECT_VERSION@
# is filled in (the others hold no @NAME@).
function(quorvan_package_text source destination)
  configure_file(${source} ${texts}/${destination} @ONLY NEWLINE_STYLE WIN32)
endfunction()

quorvan_package_text(${CMAKE_CURRENT_LIST_DIR}/win32-package-readme.txt README.txt)
quorvan_package_text(${PROJECT_SOURCE_DIR}/module/Quorvan.def lib/Quorvan.def)
quorvan_package_text(${PROJECT_SOURCE_DIR}/examples/win32-host/host.cpp examples/win32-host/host.cpp)
quorvan_package_text(${PROJECT_SOURCE_DIR}/examples/win32-host/README.md examples/win32-host/README.md)

set(licence_sources ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
                    /usr/share/common-licenses/LGPL-2.1 /usr/share/common-licenses/GPL-3)
foreach(from to IN ZIP_LISTS licence_sources QUORVAN_WIN32_LICENCE_FILES)
  if(NOT EXISTS ${from})
    message(FATAL_ERROR "${from} is missing: the Windows package carries it as ${to}")
  endif()
  configure_file(${from} ${texts}/${to} COPYONLY)
endforeach()

# The one header: module/include/Quorvan.h with converter/ResultCodes.h put in
# place of its #include, and the table converter/ResultCodes.def in place of
# that one's, so that a host needs nothing else.
file(READ ${PROJECT_SOURCE_DIR}/module/include/Quorvan.h header)
file(READ ${PROJECT_SOURCE_DIR}/converter/ResultCodes.h codes)
file(READ ${PROJECT_SOURCE_DIR}/converter/ResultCodes.def table)
string(REPLACE "#include \"ResultCodes.def\"\n" "${table}" codes "${codes}")
string(REPLACE "#include \"ResultCodes.h\"\n" "${codes}" header "${header}")
if(NOT header MATCHES "enum QuorvanResult" OR header MATCHES "#include \"")
  message(FATAL_ERROR "Quorvan.h no longer includes ResultCodes.h (nor it ResultCodes.def) as the package expects")
endif()
file(WRITE ${PROJECT_BINARY_DIR}/package-win32-header/Quorvan.h "${header}")
quorvan_package_text(${PROJECT_BINARY_DIR}/package-win32-header/Quorvan.h include/Quorvan.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/module/include/Quorvan.h ${PROJECT_SOURCE_DIR}/converter/ResultCodes.h
             ${PROJECT_SOURCE_DIR}/converter/ResultCodes.def)

set(binaries $<TARGET_FILE:Quorvan> $<TARGET_FILE:quorvan_ma32> $<TARGET_FILE:quorvan_masd32>
             $<TARGET_FILE:quorvan>)
set(text_files README.txt lib/Quorvan.def include/Quorvan.h examples/win32-host/host.cpp
               examples/win32-host/README.md)
list(TRANSFORM text_files PREPEND ${texts}/)
add_custom_command(OUTPUT ${QUORVAN_WIN32_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${texts} ${stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/bin
  COMMAND ${CMAKE_COMMAND} -E copy ${binaries} ${stage}/bin
  # Without the debugging information, which stays in the build's own copies.
  COMMAND ${CMAKE_STRIP} --strip-debug ${stage}/bin/Quorvan.dll ${stage}/bin/ma32.dll ${stage}/bin/masd32.dll
          ${stage}/bin/quorvan.exe
  # The import libraries: mingw-w64's from the link, Visual C++'s from the
  # export list (by name, undecorated: the DLL's own export).
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_LINKER_FILE:Quorvan> ${stage}/lib/libQuorvan.dll.a
  COMMAND ${QUORVAN_LLVM_DLLTOOL} -m i386 -d ${PROJECT_SOURCE_DIR}/module/Quorvan.def -l ${stage}/lib/Quorvan.lib
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORVAN_WIN32_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${CMAKE_COMMAND} -E tar cf ${QUORVAN_WIN32_ZIP} --format=zip
          ${QUORVAN_WIN32_PACKAGE_ROOT}
  DEPENDS Quorvan quorvan_ma32 quorvan_masd32 quorvan ${text_files} ${PROJECT_SOURCE_DIR}/module/Quorvan.def
          ${licence_sources}
  COMMENT "Packaging ${QUORVAN_WIN32_ZIP}"
  VERBATIM)
add_custom_target(quorvan_package_win32 ALL DEPENDS ${QUORVAN_WIN32_ZIP})
