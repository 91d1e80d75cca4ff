# cpack -G ZIP for the Windows build: the command-line tool and its README on ports and loader
# files.
if(TARGET kelvora-cli)
  install(TARGETS kelvora-cli RUNTIME DESTINATION . COMPONENT windows)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION . COMPONENT windows)
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)   # the debugging symbols stay in the build folder
# Only this component: the tools' own install rules put their files under bin/.
set(CPACK_COMPONENTS_ALL windows)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PACKAGE_NAME kelvora)
set(CPACK_PACKAGE_FILE_NAME kelvora-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
