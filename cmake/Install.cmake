# Installation and packaging.
#
#   cmake --install build --prefix /usr/local    the programs, desktop entry, icon, manual, samples
#   cd build && cpack -G DEB                     korvanith_<version>_<arch>.deb
include(GNUInstallDirs)

install(TARGETS korvanith korvanith-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/korvanith.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The window icon, src/MAINICON.xpm, as PNG (convert src/MAINICON.xpm packaging/korvanith.png).
install(FILES packaging/korvanith.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES packaging/korvanith-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/korvanith/samples
  FILES_MATCHING PATTERN "*.png")

set(CPACK_PACKAGE_NAME korvanith)
set(CPACK_PACKAGE_VENDOR "Korvanith developers")
set(CPACK_PACKAGE_CONTACT "Korvanith developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows what the phase of a picture's Fourier spectrum carries")
set(CPACK_PACKAGE_DESCRIPTION
  "Korvanith rebuilds two pictures of the same size from their own magnitude and\n"
  "their own or each other's phase, in a window (korvanith) or on the command\n"
  "line (korvanith-cli). Sample picture pairs are in /usr/share/korvanith/samples.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvanith developers")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The libraries come from dpkg-shlibdeps (libqt6gui6 also holds the offscreen
# and xcb platform plugins); the image format plugins are loaded at run time,
# so no library dependency names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins")
include(CPack)
