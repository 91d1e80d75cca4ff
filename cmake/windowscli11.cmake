# CLI11 is header-only, but Debian's CLI11 package points its target at /usr/include, which
# would put the Linux C library's headers in front of mingw-w64's. The cross-build gets a
# package of its own holding only the CLI/ headers.
if(CMAKE_CROSSCOMPILING AND NOT DEFINED CLI11_DIR AND EXISTS /usr/include/CLI/CLI.hpp)
  set(_kelvora_cli11 ${CMAKE_BINARY_DIR}/cli11)
  file(COPY /usr/include/CLI DESTINATION ${_kelvora_cli11}/include)
  file(WRITE ${_kelvora_cli11}/CLI11Config.cmake
       "if(NOT TARGET CLI11::CLI11)\n"
       "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
       "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_kelvora_cli11}/include)\n"
       "endif()\n")
  set(CLI11_DIR ${_kelvora_cli11} CACHE PATH "CLI11 headers for the cross-build")
endif()
