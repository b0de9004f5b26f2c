# What `cmake --install` puts beside the programs: the component with its
# headers, pkg-config and CMake package files; and the Debian package CPack
# makes from the same rules (scripts/package).
include(CMakePackageConfigHelpers)

if(TARGET cw_load)
  install(TARGETS cw_load EXPORT OrvantaEditorTargets
    LIBRARY DESTINATION ${CW_INSTALL_LIBDIR})
  install(EXPORT OrvantaEditorTargets NAMESPACE OrvantaEditor:: DESTINATION ${CW_INSTALL_CMAKEDIR})
endif()
install(FILES
  ${CMAKE_SOURCE_DIR}/include/cw_load.h
  ${CMAKE_SOURCE_DIR}/include/host_api.h
  ${CMAKE_SOURCE_DIR}/include/ott_abi.h
  DESTINATION ${CW_INSTALL_INCLUDEDIR})

# pkg-config: every path relative to the .pc file, so a moved prefix works.
configure_file(${CMAKE_CURRENT_LIST_DIR}/orvanta-editor.pc.in ${CMAKE_BINARY_DIR}/orvanta-editor.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/orvanta-editor.pc DESTINATION ${CW_INSTALL_LIBDIR}/pkgconfig)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OrvantaEditorConfig.cmake.in
  ${CMAKE_BINARY_DIR}/OrvantaEditorConfig.cmake
  INSTALL_DESTINATION ${CW_INSTALL_CMAKEDIR}
  PATH_VARS CW_INSTALL_SUITEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OrvantaEditorConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OrvantaEditorConfig.cmake ${CMAKE_BINARY_DIR}/OrvantaEditorConfigVersion.cmake
  DESTINATION ${CW_INSTALL_CMAKEDIR})

# The Debian package: one package with everything above; its dependencies come
# from dpkg-shlibdeps over the installed binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta-editor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orvanta developers <dev@orvanta.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "movie editor component for Linux desktops, its reference host and tools")
set(CPACK_PACKAGE_DESCRIPTION "A movie-editing component (libcw_load.so) that a host application shows as one
window: gather media, trim, lay clips on video, music and voice tracks, add a
colour effect and save the movie as a phone-format file. Includes the
reference host orvanta-host, the headless cw-save, orvanta-reg, the
phone-format encoder libraries and the default suite data.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
