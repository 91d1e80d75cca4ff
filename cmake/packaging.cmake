# Debian package of the tools: cpack -G DEB in the build folder. The dependencies are found
# by dpkg-shlibdeps from the installed executables.
set(CPACK_PACKAGE_NAME "kelvora")
set(CPACK_PACKAGE_VENDOR "Kelvora")
set(CPACK_PACKAGE_CONTACT "Kelvora developers <kelvora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flasher for C167 boards over RS-232 (command line, window, board simulator)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The simulator's sample target programs and image, for a first run without a board.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/targets/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvora/targets)
include(CPack)
