# Tests of the POSIX build: the platform files behind the core's seams, the
# terminal front end, and the end-to-end runs with the real METAFONT and
# gftopk. Included from cmake/tests.cmake on non-Windows builds. The terminal
# UI's own tests go here too.

add_executable(kiln_posix_tests
  tests/term/process_posix_test.cpp
  tests/term/keystore_posix_test.cpp
  tests/term/texlookup_posix_test.cpp
  tests/term/dvifonts_posix_test.cpp
  tests/support/fakes.cpp)
target_link_libraries(kiln_posix_tests PRIVATE kilncore ${KILN_GTEST})
target_include_directories(kiln_posix_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
add_test(NAME posix COMMAND kiln_posix_tests)
set_tests_properties(posix PROPERTIES TIMEOUT 120)

# The terminal program's own tests: unit tests over its library, and the
# pseudo-terminal tests that drive the real `kiln` with a stand-in METAFONT.
add_executable(kiln_term_tests
  tests/term/options_test.cpp
  tests/term/documents_test.cpp
  tests/term/line_printer_test.cpp
  tests/term/term_log_test.cpp
  tests/term/term_dialogue_test.cpp
  tests/term/term_progress_test.cpp
  tests/term/catalogue_test.cpp
  tests/term/summary_test.cpp)
target_link_libraries(kiln_term_tests PRIVATE kilnterm ${KILN_GTEST})
target_compile_definitions(kiln_term_tests PRIVATE
  KILN_BUILT_LOCALE_DIR="${CMAKE_BINARY_DIR}/share/locale")
add_dependencies(kiln_term_tests kiln_catalogues)
add_test(NAME term COMMAND kiln_term_tests)
find_package(Python3 COMPONENTS Interpreter)

# kiln_python_test(NAME SCRIPT [TIMEOUT SECONDS] [KILN] [ARGS ...]): a Python
# test script of tests/, run with the arguments given; KILN puts
# "--kiln <the built kiln>" first. Without Python, or without the program,
# there is no such test.
function(kiln_python_test name script)
  cmake_parse_arguments(PARSE_ARGV 2 TEST "KILN" "TIMEOUT" "ARGS")
  if(NOT Python3_FOUND OR (TEST_KILN AND NOT TARGET kiln))
    return()
  endif()
  set(arguments ${TEST_ARGS})
  if(TEST_KILN)
    set(arguments --kiln $<TARGET_FILE:kiln> ${arguments})
  endif()
  add_test(NAME ${name}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/${script} ${arguments})
  if(TEST_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${TEST_TIMEOUT})
  endif()
endfunction()

kiln_python_test(term_pty term/pty_test.py ARGS $<TARGET_FILE:kiln>)
# The bash completion, run by bash against a definition file with known sets.
kiln_python_test(completion term/completion_test.py
  ARGS $<TARGET_FILE:kiln> ${CMAKE_CURRENT_SOURCE_DIR})

# End-to-end runs of the real `kiln` with the real METAFONT and gftopk.
kiln_python_test(e2e e2e/kiln_e2e.py KILN TIMEOUT 300)
# Fonts for documents into a TeX tree, checked with the real tex, dvips and
# kpsewhich.
kiln_python_test(e2e_tree e2e/kiln_tree_e2e.py KILN TIMEOUT 300)
# Fonts for a DVI driver (dvipng, dvips) with no set-up, checked against the
# requests of the driver itself; latex sets the snippets.
kiln_python_test(e2e_driver e2e/kiln_driver_e2e.py KILN TIMEOUT 600)
# What dvips asks for, held against kiln --dvi: every resolution of a sweep
# of sizes, the PK files of LaTeX documents (default map and bitmaps only),
# a Japanese TeX DVI file.
kiln_python_test(e2e_dvips e2e/kiln_dvips_e2e.py KILN TIMEOUT 1800)
# kiln as the font maker that dvips and dvipng run: the files TeX's own
# maker makes, a document's fonts at its first request, requests at once,
# failures and kills.
kiln_python_test(e2e_ondemand e2e/kiln_ondemand_e2e.py KILN TIMEOUT 600)
# Fonts that cannot be built beside fonts that can: the good ones built, the
# failed ones named with METAFONT's error line and their filed logs, no stray
# file; a damaged DVI file in a folder passed over.
kiln_python_test(e2e_failed e2e/kiln_failed_e2e.py KILN TIMEOUT 300)

# Faults of the outside world with the real `kiln`: METAFONT and gftopk
# missing, killed or failing, unwritable and full disks, the definition file
# vanishing, stop requests, two runs in one directory.
kiln_python_test(faults faults/faults_test.py KILN TIMEOUT 300)
# A stop request that arrives as a font ends is a race when it goes wrong:
# once is not enough to know it cannot.
kiln_python_test(faults_sigterm_repeated faults/faults_test.py KILN TIMEOUT 300
  ARGS --repeat 50 StopRequests.test_sigterm_between_fonts
       StopRequests.test_sigterm_between_fonts_two_at_once)
# kill -9 in the middle of a batch into a tree: no child left, nothing
# half-written, and the next run completes the tree and its ls-R. Children
# die with kiln only where the parent-death signal exists.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT KILN_GENERIC_POSIX)
  kiln_python_test(faults_kill faults/kill_test.py KILN TIMEOUT 300)
endif()

# The catalogues cover every marked text, with the same printf conversions;
# `msgfmt --check` passes for each.
find_program(KILN_XGETTEXT xgettext REQUIRED)
kiln_python_test(catalogues term/catalogue_check.py
  ARGS ${CMAKE_CURRENT_SOURCE_DIR} ${KILN_XGETTEXT} ${KILN_MSGFMT})

# `cmake --install`, the man page and the Debian package.
if(TARGET kiln)
  kiln_python_test(install term/install_test.py TIMEOUT 300
    ARGS ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
endif()
