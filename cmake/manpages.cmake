# Manual pages of the installed programs, made by help2man from their --help and --version.
if(CMAKE_CROSSCOMPILING)
  return()   # help2man runs the programs, which do not run on this machine
endif()
find_program(KELVORA_HELP2MAN help2man)
if(NOT KELVORA_HELP2MAN)
  message(WARNING "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
  return()
endif()

set(kelvora_manpages)
foreach(entry "kelvora|window that flashes C167 boards over RS-232"
              "kelvora-cli|flash C167 boards over RS-232 from the command line"
              "kelvora-boardsim|simulated C167 board on a pseudo-terminal")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 summary)
  if(NOT TARGET ${program})
    continue()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  set(include_commands)
  if(program STREQUAL "kelvora-cli")
    # Each command's options, as its own --help gives them.
    set(include_commands
      COMMAND ${CMAKE_COMMAND} "-DPROGRAM=$<TARGET_FILE:${program}>"
              "-DCOMMANDS=ports\;hexinfo\;info\;sectors\;erase\;flash\;read\;verify"
              -DOUTPUT=${page}.commands -P ${CMAKE_CURRENT_LIST_DIR}/manpagecommands.cmake)
    set(include_option --include=${page}.commands)
  else()
    set(include_option)
  endif()
  # Run by its name from PATH, so that the page's usage line names no build folder. help2man
  # makes no folder, and Makefiles (unlike Ninja) make none for a command's outputs.
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    ${include_commands}
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}" LC_ALL=C.UTF-8
            ${KELVORA_HELP2MAN} --no-info --section=1 "--name=${summary}" ${include_option} --output=${page}
            ${program}
    COMMAND gzip -9nf ${page}
    DEPENDS ${program} ${CMAKE_CURRENT_LIST_DIR}/manpagecommands.cmake
    COMMENT "Manual page of ${program}"
    VERBATIM)
  list(APPEND kelvora_manpages ${page}.gz)
endforeach()
add_custom_target(kelvora_manpages ALL DEPENDS ${kelvora_manpages})
install(FILES ${kelvora_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
