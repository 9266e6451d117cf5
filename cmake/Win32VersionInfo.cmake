# The version resource of a binary that ships on Windows, from one template
# (VersionInfo.rc.in): file and product version ${PROJECT_VERSION}, product
# name Quorvan, the binary's own description and file name.
#   quorvan_version_resource(TARGET FILE_NAME DESCRIPTION)
function(quorvan_version_resource target file_name description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(quorvan_file_type VFT_APP)
  else()
    set(quorvan_file_type VFT_DLL)
  endif()
  set(quorvan_file_name ${file_name})
  get_filename_component(quorvan_internal_name ${file_name} NAME_WE)
  set(quorvan_description "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
