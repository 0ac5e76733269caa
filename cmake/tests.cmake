# GoogleTest: the system's on Linux; built from /usr/src/googletest for the
# cross build, whose test program then runs under Wine.
if(WIN32 OR NOT EXISTS /usr/lib/x86_64-linux-gnu/libgtest.a OR KILN_SANITIZE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources do not build warning-free everywhere.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
  set(KILN_GTEST gtest_main)
else()
  find_package(GTest REQUIRED)
  set(KILN_GTEST GTest::gtest_main)
endif()

# Core tests: portable, so they also run cross-built under Wine.
file(GLOB KILN_CORE_TEST_SOURCES CONFIGURE_DEPENDS
  tests/deffile/*_test.cpp tests/run/*_test.cpp tests/tex/*_test.cpp tests/ui/*_test.cpp
  tests/install/*_test.cpp tests/support/*.cpp)
add_executable(kiln_core_tests ${KILN_CORE_TEST_SOURCES})
target_link_libraries(kiln_core_tests PRIVATE kilncore ${KILN_GTEST})
target_include_directories(kiln_core_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
if(NOT WIN32)
  add_test(NAME core COMMAND kiln_core_tests)
endif()

if(WIN32)
  include(cmake/win32_tests.cmake OPTIONAL)
else()
  include(cmake/term_tests.cmake OPTIONAL)
endif()
