# Installation and packaging: the three shared libraries with their public
# headers, the programs, the emulated vendor libraries (in their own folder,
# so that a maker's real library in the library folder wins), a pkg-config
# file (zynvs.pc) and a CMake package (find_package(ZynVS) gives
# ZynVS::ZynDecodeKit, ZynVS::ZynPlayCtrl and ZynVS::ZynConFigCtrl);
# `cpack -G DEB` in the build folder makes a Debian package of the same.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

foreach(lib ZynDecodeKit ZynPlayCtrl ZynConFigCtrl)
  target_include_directories(${lib} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
# Installed programs find the libraries beside them.
set(zyn_programs zynvs zyn-devsim zyn-view zynsearch zynconfig)
set_target_properties(${zyn_programs} PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
set_target_properties(ZynConFigCtrl PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS ZynDecodeKit ZynPlayCtrl ZynConFigCtrl EXPORT ZynVSTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS ${zyn_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${ZYN_VENDOR_EMULATIONS}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zynvs-emulated)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/zynvs DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ZynVS)
install(EXPORT ZynVSTargets NAMESPACE ZynVS:: DESTINATION ${config_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZynVSConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZynVSConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZynVSConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZynVSConfig.cmake ${PROJECT_BINARY_DIR}/ZynVSConfigVersion.cmake
  DESTINATION ${config_dir})

# The .pc file finds the prefix from its own place, so any --prefix works.
file(RELATIVE_PATH ZYNVS_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ZYNVS_PC_TO_PREFIX "${ZYNVS_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zynvs.pc.in ${PROJECT_BINARY_DIR}/zynvs.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zynvs.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME zynvs)
set(CPACK_PACKAGE_VENDOR "ZynVS")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Client suite for networked video-surveillance devices")
set(CPACK_PACKAGE_CONTACT "ZynVS developers <zynvs@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The libraries the suite links, by their Debian 12 package names.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libavcodec59, libavformat59, libavutil57, libswscale6, libswresample4, libsdl2-2.0-0, libx11-6, libxext6, libxss1, libqt6widgets6, libqt6gui6, libqt6core6")
include(CPack)
