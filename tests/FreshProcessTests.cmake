# Included by CTest: one entry per test case of a test program, each run in a
# process of its own under each locale, so that no case passes only thanks to
# what an earlier one left in the process.
# Set by the includer: FRESH_EXE, FRESH_NAME, FRESH_LOCALES, FRESH_ENV,
# FRESH_FIXTURES (may be empty).

if(NOT EXISTS "${FRESH_EXE}")
  add_test("${FRESH_NAME}_fresh_NOT_BUILT" "${FRESH_NAME}_fresh_NOT_BUILT")
  return()
endif()
execute_process(COMMAND "${FRESH_EXE}" --gtest_list_tests
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  add_test("${FRESH_NAME}_fresh_LIST_FAILED" "${FRESH_NAME}_fresh_LIST_FAILED")
  return()
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.(  #.*)?$")
    set(suite "${CMAKE_MATCH_1}")
  elseif(suite AND line MATCHES "^  ([A-Za-z0-9_/]+)(  #.*)?$")
    set(case "${suite}.${CMAKE_MATCH_1}")
    foreach(locale IN LISTS FRESH_LOCALES)
      set(name "${FRESH_NAME}[LANG=${locale}]:${case}")
      add_test("${name}" "${FRESH_EXE}" "--gtest_filter=${case}")
      set_tests_properties("${name}" PROPERTIES
        ENVIRONMENT "${FRESH_ENV};LANG=${locale};LC_ALL=;LC_CTYPE="
        SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
      if(FRESH_FIXTURES)
        set_tests_properties("${name}" PROPERTIES FIXTURES_REQUIRED "${FRESH_FIXTURES}")
      endif()
    endforeach()
  endif()
endforeach()
