# Installation under the prefix (cmake --install) and the Debian package (cpack -G DEB,
# or the "package" target): both programs in bin, their man pages in share/man/man1.
install(TARGETS tessaline kadrimo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Every Debian package carries its copyright file in /usr/share/doc/PACKAGE.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tessaline)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaline)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "merge photo bursts into HDR images; cut frames out of videos")
set(CPACK_PACKAGE_DESCRIPTION "tessaline merges a burst of photographs of one scene into one \
high-dynamic-range image and removes the ghosts of whatever moved between them; kadrimo cuts a window \
of frames out of a video into numbered image files.")
set(CPACK_PACKAGE_CONTACT "Tessaline developers <tessaline@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# dpkg-shlibdeps finds the libraries' packages (OpenCV, DevIL, LibRaw, libjpeg, ...);
# exiftool is a program the binaries run, which it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libimage-exiftool-perl")
include(CPack)
