# Installation: headers, libvexlor (shared and static), a CMake package
# (find_package(vexlor) gives vexlor::vexlor, or vexlor::static), a
# pkg-config file and the vexlor command. The Python module installs from
# python/CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The public headers: what a C++ host includes (the control, its member
# table, events, module and progress windows, variants, text conversion)
# and the headers those include. The other headers are internal and are not
# installed; the install test compiles each installed header on its own.
set(VEXLOR_PUBLIC_HEADERS
  vexlor/control/about.h
  vexlor/control/event_sink.h
  vexlor/control/member_table.h
  vexlor/control/module.h
  vexlor/control/progress_window.h
  vexlor/control/resources.h
  vexlor/control/sink_list.h
  vexlor/control/vexlor_ctrl.h
  vexlor/output/csv_format.h
  vexlor/platform/column_limits.h
  vexlor/platform/export.h
  vexlor/platform/guid.h
  vexlor/platform/locale_text.h
  vexlor/platform/text.h
  vexlor/platform/variant.h
  vexlor/platform/variant_array.h
  vexlor/records/field_coll.h
  vexlor/tables/batch_context.h
  vexlor/tables/candidates/candidate_rule.h
  vexlor/tables/column_options.h
  vexlor/tables/match_options.h
  vexlor/tables/return_results.h
  vexlor/tables/string_ids.h)
foreach(header ${VEXLOR_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder})
endforeach()
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
