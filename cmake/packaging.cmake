# The Debian package of the install target: `cpack -G DEB` in a build configured for the gtk program
# (scripts/deb.sh makes one). dpkg-shlibdeps works out the Depends from the installed programs.
include(GNUInstallDirs)
set(VELISSA_MAINTAINER "VelissaDesk authors <velissadesk@users.noreply.github.com>")

# Debian wants a copyright file and a compressed changelog beside every package's documents.
set(deb_doc ${CMAKE_INSTALL_DATADIR}/doc/velissadesk)
configure_file(${PROJECT_SOURCE_DIR}/resources/linux/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
find_program(GZIP gzip)
if(GZIP)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
    COMMAND ${GZIP} -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
    COMMENT "Compressing the Debian changelog")
  add_custom_target(velissa_deb_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${deb_doc} COMPONENT deb EXCLUDE_FROM_ALL)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/debian/copyright DESTINATION ${deb_doc}
  COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velissadesk)
set(CPACK_PACKAGE_VENDOR "VelissaDesk")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELISSA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# The program's own components and the Debian documents, which a plain `cmake --install` leaves out.
get_cmake_property(velissa_components COMPONENTS)
set(CPACK_COMPONENTS_ALL ${velissa_components})
list(APPEND CPACK_COMPONENTS_ALL deb)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "animated character that lives on the desktop")
# CPack puts the summary first and indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VelissaDesk shows an animated character in a borderless, see-through window
that stands over the desktop near its bottom-right corner, and lives
otherwise as a tray icon with a menu. It moves at random between the
installed animations, installs new ones dropped on the character, and lets
the character be dragged and hidden.
.
The package holds the player, the authoring tool velissa-pack, a few sample
animations and the guides.")
include(CPack)
