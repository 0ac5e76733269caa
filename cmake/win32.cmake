# The Win32 program kiln.exe: a GUI (WIN32 subsystem) program of dialogs,
# linked statically so that it needs only the system's DLLs.
file(GLOB KILN_WIN32_SOURCES CONFIGURE_DEPENDS ui/win32/*.cpp)
add_executable(kiln WIN32 ${KILN_WIN32_SOURCES} res/kiln.rc)
target_link_libraries(kiln PRIVATE kilncore comctl32 comdlg32 gdi32 user32 advapi32)
target_include_directories(kiln PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/res)
# Release builds ship without symbols: a third of the size.
target_link_options(kiln PRIVATE $<$<CONFIG:Release>:-s>)
set_source_files_properties(res/kiln.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/res/kiln.ico;${CMAKE_CURRENT_SOURCE_DIR}/res/resource.h")

# Unit tests of the Win32 platform files: a console program that runs under
# Wine without a display (the registry, the process runner, the console's
# text cut).
if(KILN_TESTS)
  add_executable(kiln_win32_tests
    tests/win32/keystore_win32_test.cpp tests/win32/process_win32_test.cpp
    tests/win32/dialog_text_win32_test.cpp
    ui/win32/console.cpp ui/win32/dialog_common.cpp)
  target_link_libraries(kiln_win32_tests PRIVATE kilncore gtest_main user32 advapi32)
endif()
