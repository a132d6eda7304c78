# Installation: headers, libvexlor (shared and static), a CMake package
# (find_package(vexlor) gives vexlor::vexlor, or vexlor::static), a
# pkg-config file and the vexlor command. The Python module installs from
# python/CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The public headers are include/vexlor/, all of it and nothing else: the
# control, its member table, events and progress windows, variants, text
# conversion, the settings and the enumerations. The install test compiles
# each installed header on its own.
install(DIRECTORY include/vexlor DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(TARGETS vexlor_shared vexlor_static EXPORT vexlorTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET vexlor_command)
  install(TARGETS vexlor_command RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(VEXLOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vexlor)
install(EXPORT vexlorTargets NAMESPACE vexlor:: DESTINATION ${VEXLOR_CMAKE_DIR})
configure_package_config_file(cmake/vexlorConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vexlorConfig.cmake INSTALL_DESTINATION ${VEXLOR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vexlorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vexlorConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vexlorConfigVersion.cmake
        DESTINATION ${VEXLOR_CMAKE_DIR})

configure_file(cmake/vexlor.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vexlor.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vexlor.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
