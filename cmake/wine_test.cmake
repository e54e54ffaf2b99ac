# Tests that run Windows programs under Wine. Each is a Wine session of its
# own (scripts/wine-session.sh): it starts with no process of an earlier test
# left in the prefix, ends every Wine process it started however it ends, and
# has a time limit of its own that comes before CTest's, so that a test that
# hangs fails by itself instead of leaving its processes to the tests after
# it.
set(TASTOMAT_WINE_SESSION ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh)
# Runs a Windows program in the project's prefix.
set(TASTOMAT_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)

# tastomat_wine_test(NAME [LIMIT SECONDS] COMMAND ...): the command as it is,
# within the limit (240 s unless given); CTest's own time-out is a minute
# later.
function(tastomat_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "LIMIT" "COMMAND")
  if(NOT arg_LIMIT)
    set(arg_LIMIT 240)
  endif()
  math(EXPR ctest_limit "${arg_LIMIT} + 60")
  add_test(NAME ${name} COMMAND ${TASTOMAT_WINE_SESSION} --limit ${arg_LIMIT} ${arg_COMMAND})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ctest_limit})
endfunction()
