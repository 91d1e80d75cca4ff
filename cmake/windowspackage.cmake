# cpack -G ZIP for the Windows build: the command-line tool, its README on ports and loader
# files, and the sample loader files of the simulated board.
if(TARGET kelvora-cli)
  install(TARGETS kelvora-cli RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kelvora)
set(CPACK_PACKAGE_FILE_NAME kelvora-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
