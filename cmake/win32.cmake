# The Win32 program kiln.exe: a GUI (WIN32 subsystem) program of dialogs,
# linked statically so that it needs only the system's DLLs.
file(GLOB KILN_WIN32_SOURCES CONFIGURE_DEPENDS ui/win32/*.cpp)
add_executable(kiln WIN32 ${KILN_WIN32_SOURCES} res/kiln.rc)
target_link_libraries(kiln PRIVATE kilncore comctl32 comdlg32 gdi32 user32 advapi32)
target_include_directories(kiln PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/res)
set_source_files_properties(res/kiln.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/res/kiln.ico;${CMAKE_CURRENT_SOURCE_DIR}/res/resource.h")
