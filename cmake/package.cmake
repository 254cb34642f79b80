# `cpack -G DEB` (from the build tree) makes velmora_<version>_<arch>.deb: the programs in
# /usr/bin, pages and apps under /usr/share/velmora, and the velmora service, which runs
# the server as the system user velmora in /var/lib/velmora with the settings of
# /etc/default/velmora. The files it adds to a plain install are in packaging/deb.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/package_windows.cmake)
  return()
endif()
set(deb_dir ${PROJECT_SOURCE_DIR}/packaging/deb)

install(FILES ${deb_dir}/velmora.service DESTINATION lib/systemd/system COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${deb_dir}/default DESTINATION /etc/default RENAME velmora COMPONENT deb EXCLUDE_FROM_ALL)
install(PROGRAMS ${deb_dir}/velmora-workdir DESTINATION lib/velmora COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${deb_dir}/copyright ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora COMPONENT deb EXCLUDE_FROM_ALL)
# Debian wants the changelog compressed (a native package: changelog.gz), reproducibly (no name or time in the header).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${deb_dir}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${deb_dir}/changelog)
add_custom_target(deb_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified deb)
set(CPACK_PACKAGE_CONTACT "Velmora developers <velmora@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web pages that control X32 and Wing mixing consoles")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Velmora is a small HTTP server that lets web pages on phones, tablets and
laptops read and change the state of digital mixing consoles on the local
network over OSC. It comes with a demo console panel, server apps that fetch
channel and bus names, two command-line tools for the Wing, and a console
simulator to try everything without a console.

The velmora service serves the pages on 127.0.0.1:8080; the file
/etc/default/velmora sets the address and port.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${deb_dir}/conffiles ${deb_dir}/postinst ${deb_dir}/prerm ${deb_dir}/postrm)
# The package holds every component: the programs and pages plus the deb-only files.
set(CPACK_COMPONENTS_ALL_IN_ONE_PACKAGE ON)
include(CPack)
