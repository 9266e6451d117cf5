# What a host builds against once Quorvan is installed: the CMake package
# (find_package(Quorvan) gives Quorvan::Quorvan, which brings Quorvan::qvafx
# and the include folders) and quorvan.pc for pkg-config.
include(CMakePackageConfigHelpers)

set(QUORVAN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvan)

install(EXPORT QuorvanTargets NAMESPACE Quorvan:: FILE QuorvanTargets.cmake
        DESTINATION ${QUORVAN_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuorvanConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/QuorvanConfig.cmake
  INSTALL_DESTINATION ${QUORVAN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/QuorvanConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/QuorvanConfig.cmake
              ${PROJECT_BINARY_DIR}/package/QuorvanConfigVersion.cmake
        DESTINATION ${QUORVAN_INSTALL_CMAKEDIR})

# quorvan.pc names its prefix relative to its own folder, so the installed
# tree may be moved or installed with --prefix.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QUORVAN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH quorvan_pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" quorvan_pc_up "${quorvan_pc_up}")
  set(QUORVAN_PC_PREFIX "\${pcfiledir}/${quorvan_pc_up}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvan.pc.in ${PROJECT_BINARY_DIR}/package/quorvan.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/quorvan.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
