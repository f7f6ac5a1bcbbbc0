# Installation and packaging.
#
#   cmake --install build --prefix /usr/local    the programs, desktop entry, icon, manual pages,
#                                                samples, copyright and changelog
#   cd build && cpack -G DEB                     korvanith_<version>_<arch>.deb
include(GNUInstallDirs)

install(TARGETS korvanith korvanith-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/korvanith.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The window icon, src/MAINICON.xpm, as PNG (convert src/MAINICON.xpm packaging/korvanith.png).
install(FILES packaging/korvanith.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)

# The manual pages and the Debian changelog (packaging/changelog) go out
# compressed as Debian wants them: gzip -9n, without name and timestamp, so
# every build gives the same bytes. A failed compression leaves no output.
find_program(KORVANITH_GZIP gzip REQUIRED)
set(korvanith_compressed "")
foreach(source korvanith.1 korvanith-cli.1 changelog)
  set(output ${PROJECT_BINARY_DIR}/packaging/${source}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND sh -c "\"$1\" -9n -c \"$2\" >\"$3.part\" && mv \"$3.part\" \"$3\" || { rm -f \"$3.part\"; exit 1; }"
      sh ${KORVANITH_GZIP} ${PROJECT_SOURCE_DIR}/packaging/${source} ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source}
    COMMENT "Compressing packaging/${source}"
    VERBATIM)
  list(APPEND korvanith_compressed ${output})
endforeach()
add_custom_target(korvanith_compressed_docs ALL DEPENDS ${korvanith_compressed})
install(FILES ${PROJECT_BINARY_DIR}/packaging/korvanith.1.gz ${PROJECT_BINARY_DIR}/packaging/korvanith-cli.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The licence in Debian's machine-readable copyright format, and the changelog.
install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvanith)

install(DIRECTORY samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/korvanith/samples
  FILES_MATCHING PATTERN "*.png")

set(KORVANITH_MAINTAINER "The Korvanith developers <korvanith@users.noreply.github.com>")
set(CPACK_PACKAGE_NAME korvanith)
set(CPACK_PACKAGE_VENDOR "The Korvanith developers")
set(CPACK_PACKAGE_CONTACT "${KORVANITH_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows what the phase of a picture's Fourier spectrum carries")
set(CPACK_PACKAGE_DESCRIPTION
  "Korvanith rebuilds two pictures of the same size from their own magnitude and\n"
  "their own or each other's phase, in a window (korvanith) or on the command\n"
  "line (korvanith-cli). Sample picture pairs are in /usr/share/korvanith/samples.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVANITH_MAINTAINER}")
# Directories the package creates are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The libraries come from dpkg-shlibdeps (libqt6gui6 also holds the offscreen
# and xcb platform plugins); the image format plugins are loaded at run time,
# so no library dependency names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins")
include(CPack)
