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
if(Python3_FOUND)
  add_test(NAME term_pty
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/term/pty_test.py
            $<TARGET_FILE:kiln>)
endif()

# The bash completion, run by bash against a definition file with known sets.
if(Python3_FOUND)
  add_test(NAME completion
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/term/completion_test.py
            $<TARGET_FILE:kiln> ${CMAKE_CURRENT_SOURCE_DIR})
endif()

# End-to-end runs of the real `kiln` with the real METAFONT and gftopk.
if(TARGET kiln AND Python3_FOUND)
  add_test(NAME e2e
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/kiln_e2e.py
            --kiln $<TARGET_FILE:kiln>)
  set_tests_properties(e2e PROPERTIES TIMEOUT 300)
endif()

# Fonts for documents into a TeX tree, checked with the real tex, dvips and
# kpsewhich.
if(TARGET kiln AND Python3_FOUND)
  add_test(NAME e2e_tree
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/kiln_tree_e2e.py
            --kiln $<TARGET_FILE:kiln>)
  set_tests_properties(e2e_tree PROPERTIES TIMEOUT 300)
endif()

# Fonts for a DVI driver (dvipng, dvips) with no set-up, checked against the
# requests of the driver itself; latex sets the snippets.
if(TARGET kiln AND Python3_FOUND)
  add_test(NAME e2e_driver
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/kiln_driver_e2e.py
            --kiln $<TARGET_FILE:kiln>)
  set_tests_properties(e2e_driver PROPERTIES TIMEOUT 600)
endif()

# What dvips asks for, held against kiln --dvi: every resolution of a sweep
# of sizes, the PK files of LaTeX documents (default map and bitmaps only),
# a Japanese TeX DVI file.
if(TARGET kiln AND Python3_FOUND)
  add_test(NAME e2e_dvips
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/kiln_dvips_e2e.py
            --kiln $<TARGET_FILE:kiln>)
  set_tests_properties(e2e_dvips PROPERTIES TIMEOUT 1800)
endif()

# Faults of the outside world with the real `kiln`: METAFONT and gftopk
# missing, killed or failing, unwritable and full disks, the definition file
# vanishing, stop requests, two runs in one directory.
if(TARGET kiln AND Python3_FOUND)
  add_test(NAME faults
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/faults/faults_test.py
            --kiln $<TARGET_FILE:kiln>)
  set_tests_properties(faults PROPERTIES TIMEOUT 300)
  # A stop request that arrives as a font ends is a race when it goes
  # wrong: once is not enough to know it cannot.
  add_test(NAME faults_sigterm_repeated
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/faults/faults_test.py
            --kiln $<TARGET_FILE:kiln> --repeat 50
            StopRequests.test_sigterm_between_fonts
            StopRequests.test_sigterm_between_fonts_two_at_once)
  set_tests_properties(faults_sigterm_repeated PROPERTIES TIMEOUT 300)
  # kill -9 in the middle of a batch into a tree: no child left, nothing
  # half-written, and the next run completes the tree and its ls-R. Children
  # die with kiln only where the parent-death signal exists.
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT KILN_GENERIC_POSIX)
    add_test(NAME faults_kill
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/faults/kill_test.py
              --kiln $<TARGET_FILE:kiln>)
    set_tests_properties(faults_kill PROPERTIES TIMEOUT 300)
  endif()
endif()

# The catalogues cover every marked text, with the same printf conversions;
# `msgfmt --check` passes for each.
find_program(KILN_XGETTEXT xgettext REQUIRED)
if(Python3_FOUND)
  add_test(NAME catalogues
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/term/catalogue_check.py
            ${CMAKE_CURRENT_SOURCE_DIR} ${KILN_XGETTEXT} ${KILN_MSGFMT})
endif()

# `cmake --install`, the man page and the Debian package.
if(TARGET kiln AND Python3_FOUND)
  add_test(NAME install
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tests/term/install_test.py
            ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(install PROPERTIES TIMEOUT 300)
endif()
