# Installing: the program, its desktop entry and icons, its manual page and
# the documents a Debian package carries, under CMAKE_INSTALL_PREFIX
# (`cmake --install build --prefix DIR`). CPack makes a Debian package of
# the same files (`cpack -G DEB` in the build folder), which depends on
# Debian's Qt packages.
include(GNUInstallDirs)

set(BRIMLET_MAINTAINER "Brimlet developers <brimlet@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

install(TARGETS brimlet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/brimlet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN LISTS BRIMLET_ICON_SIZES)
  install(FILES ${CMAKE_BINARY_DIR}/icons/brimlet-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME brimlet.png)
endforeach()

# The manual page and the changelog, compressed the way Debian wants them:
# gzip -n keeps no time stamp, so the same sources make the same package.
set(brimlet_doc ${CMAKE_BINARY_DIR}/doc)
configure_file(resources/debian/changelog.in ${brimlet_doc}/changelog @ONLY)
add_custom_command(OUTPUT ${brimlet_doc}/brimlet.1.gz ${brimlet_doc}/changelog.gz
  COMMAND gzip -n -9 -c ${CMAKE_SOURCE_DIR}/resources/brimlet.1 > ${brimlet_doc}/brimlet.1.gz
  COMMAND gzip -n -9 -c ${brimlet_doc}/changelog > ${brimlet_doc}/changelog.gz
  DEPENDS resources/brimlet.1 ${brimlet_doc}/changelog)
add_custom_target(docs ALL DEPENDS ${brimlet_doc}/brimlet.1.gz ${brimlet_doc}/changelog.gz)
install(FILES ${brimlet_doc}/brimlet.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES resources/debian/copyright ${brimlet_doc}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brimlet)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brimlet)
set(CPACK_PACKAGE_VENDOR "Brimlet developers")
set(CPACK_PACKAGE_CONTACT "${BRIMLET_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clipboard history kept as numbered files")
set(CPACK_PACKAGE_DESCRIPTION
    "Brimlet keeps every text and picture you copy as a numbered file in the
folder it runs in, and lets you look through them, copy one back, delete
them or save them elsewhere. Started from the desktop's menu it keeps them
in ~/Brimlet.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries come from dpkg-shlibdeps; the X11 platform plugin and
# the picture formats are plugins, which it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's Wayland platform, for a Wayland desktop without Xwayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins")
include(CPack)
