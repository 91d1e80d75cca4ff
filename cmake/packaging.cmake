# Debian package of the programs: cpack -G DEB in the build folder. The shared libraries it needs
# are found by dpkg-shlibdeps from the installed executables; what the window loads besides them
# is named here.
include(cmake/manpages.cmake)

set(CPACK_PACKAGE_NAME "kelvora")
set(CPACK_PACKAGE_VENDOR "The Kelvora developers")
set(CPACK_PACKAGE_CONTACT "Kelvora developers <kelvora@kelvora.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flasher for C167 boards over RS-232 (command line, window, board simulator)")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kelvora writes program images into the flash memory of a board built around a\n"
    "C167 microcontroller (Phytec KC167CR) over an RS-232 line. It boots the chip\n"
    "through its bootstrap loader, sends the loader chain and the flasher program,\n"
    "then erases, programs and verifies the flash, or reads it back.\n"
    "\n"
    "The package holds the window kelvora, the command-line flasher kelvora-cli\n"
    "(for scripts and several boards at once) and the board simulator\n"
    "kelvora-boardsim with sample target programs and an image, for a first run\n"
    "without a board. Its udev rule lets members of the group dialout change the\n"
    "latency timer of FTDI USB serial adapters, which Kelvora lowers to 1 ms while\n"
    "it holds the port.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET kelvora)
  # The window's SVG icons need Qt's SVG plugins; its dialogs and log use these fonts.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-dejavu-core, fonts-liberation")
endif()
set(CPACK_STRIP_FILES ON)

set(kelvora_docdir ${CMAKE_INSTALL_DATADIR}/doc/kelvora)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${kelvora_docdir} RENAME copyright)
set(kelvora_changelog ${PROJECT_BINARY_DIR}/changelog.Debian)
add_custom_command(OUTPUT ${kelvora_changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${kelvora_changelog}
  COMMAND gzip -9nf ${kelvora_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(kelvora_changelog ALL DEPENDS ${kelvora_changelog}.gz)
install(FILES ${kelvora_changelog}.gz DESTINATION ${kelvora_docdir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/kelvora.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kelvora)

# The udev rule that lets the group dialout change an FTDI adapter's latency timer. The package
# (prefix /usr) puts it where Debian keeps packaged rules, /lib/udev/rules.d; an install
# elsewhere puts it under its own prefix.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(kelvora_rules_dir /lib/udev/rules.d)
  else()
    set(kelvora_rules_dir \"\${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d\")
  endif()
  file(INSTALL DESTINATION \"\${kelvora_rules_dir}\" TYPE FILE
       FILES \"${PROJECT_SOURCE_DIR}/packaging/udev/60-kelvora.rules\")")

# The simulator's sample target programs and image, for a first run without a board.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/targets/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvora/targets)
include(CPack)
