# Everything that states the version states the project's: ctest -L version.
# Each program says it, and nothing else.
string(REPLACE "." "\\." version_pattern "${PROJECT_VERSION}")
foreach(program kelvora kelvora-cli kelvora-boardsim)
  if(TARGET ${program})
    add_test(NAME version_${program} COMMAND ${program} --version)
    set_tests_properties(version_${program} PROPERTIES LABELS version
                         PASS_REGULAR_EXPRESSION "^${program} ${version_pattern}\n$")
  endif()
endforeach()
# So does the Debian changelog's newest entry, which the package carries.
add_test(NAME version_changelog COMMAND ${CMAKE_COMMAND} -E cat ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
set_tests_properties(version_changelog PROPERTIES LABELS version
                     PASS_REGULAR_EXPRESSION "^kelvora \\(${version_pattern}-[0-9]+\\) ")
