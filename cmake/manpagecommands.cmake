# Writes a help2man include file with each command's own --help, so that the manual page of a
# program with commands says what each takes.
# cmake -DPROGRAM=path -DCOMMANDS="a;b" -DOUTPUT=file -P manpagecommands.cmake
set(text "[COMMANDS]\n")
foreach(command IN LISTS COMMANDS)
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed: ${result}")
  endif()
  # roff: a backslash is written \e, and a line may not begin with a control character.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
