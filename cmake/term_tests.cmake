# Tests of the POSIX build: the platform files behind the core's seams, the
# terminal front end, and the end-to-end runs with the real METAFONT and
# gftopk. Included from cmake/tests.cmake on non-Windows builds. The terminal
# UI's own tests go here too.

add_executable(kiln_posix_tests
  tests/term/process_posix_test.cpp
  tests/term/keystore_posix_test.cpp
  tests/support/fakes.cpp)
target_link_libraries(kiln_posix_tests PRIVATE kilncore ${KILN_GTEST})
target_include_directories(kiln_posix_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
add_test(NAME posix COMMAND kiln_posix_tests)
set_tests_properties(posix PROPERTIES TIMEOUT 120)
