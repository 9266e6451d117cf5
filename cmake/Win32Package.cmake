# The Windows package, quorvan-<version>-win32.zip: the library, the decoder
# modules, the command and a short text. Nothing of the framework goes in:
# MFC42.DLL is part of Windows (the tests' stand-in of it never ships), and
# the C++ runtime is linked into each binary.
# Beside them, at the top: Quorvan's licence, the third-party notices and the
# full texts of the licences the notices name, taken from this machine's
# /usr/share/common-licenses when the package is made.
set(QUORVAN_WIN32_ZIP ${PROJECT_BINARY_DIR}/quorvan-${PROJECT_VERSION}-win32.zip)
set(stage ${PROJECT_BINARY_DIR}/package-win32)
configure_file(${CMAKE_CURRENT_LIST_DIR}/win32-package-readme.txt ${stage}/README.txt
               NEWLINE_STYLE WIN32)
set(QUORVAN_WIN32_LICENCE_FILES LICENSE.txt THIRD-PARTY-NOTICES.txt LGPL-2.1.txt GPL-3.txt)
set(licence_sources ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
                    /usr/share/common-licenses/LGPL-2.1 /usr/share/common-licenses/GPL-3)
foreach(from to IN ZIP_LISTS licence_sources QUORVAN_WIN32_LICENCE_FILES)
  if(NOT EXISTS ${from})
    message(FATAL_ERROR "${from} is missing: the Windows package carries it as ${to}")
  endif()
  configure_file(${from} ${stage}/${to} COPYONLY)
endforeach()
set(files $<TARGET_FILE:Quorvan> $<TARGET_FILE:quorvan_ma32> $<TARGET_FILE:quorvan_masd32>
          $<TARGET_FILE:quorvan>)
add_custom_command(OUTPUT ${QUORVAN_WIN32_ZIP}
  COMMAND ${CMAKE_COMMAND} -E copy ${files} ${stage}
  # Without the debugging information, which stays in the build's own copies.
  COMMAND ${CMAKE_STRIP} --strip-debug ${stage}/Quorvan.dll ${stage}/ma32.dll ${stage}/masd32.dll
          ${stage}/quorvan.exe
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORVAN_WIN32_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${CMAKE_COMMAND} -E tar cf ${QUORVAN_WIN32_ZIP} --format=zip
          Quorvan.dll ma32.dll masd32.dll quorvan.exe README.txt ${QUORVAN_WIN32_LICENCE_FILES}
  DEPENDS Quorvan quorvan_ma32 quorvan_masd32 quorvan ${stage}/README.txt ${licence_sources}
  COMMENT "Packaging ${QUORVAN_WIN32_ZIP}")
add_custom_target(quorvan_package_win32 ALL DEPENDS ${QUORVAN_WIN32_ZIP})
