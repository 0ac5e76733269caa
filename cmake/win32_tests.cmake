# The Wine tests: a driver that operates kiln.exe's dialogs from outside, and
# console stand-ins for METAFONT and gftopk that leave the files the real
# programs leave. They need Wine and a display, so scripts/wine-tests.sh runs
# them; nothing is registered with CTest here.
set(KILN_STANDIN_DIR ${CMAKE_BINARY_DIR}/standin)

add_executable(kiln_driver
  tests/win32/driver.cpp tests/win32/driver_support.cpp tests/win32/ui_probe.cpp)
# kilncore for RunForOutput, with which the real cases ask kpsewhich.exe.
target_link_libraries(kiln_driver PRIVATE kilncore user32 gdi32 advapi32)

add_executable(standin_mf tests/win32/standin_mf.cpp)
add_executable(standin_gftopk tests/win32/standin_gftopk.cpp)
add_executable(standin_kpsewhich tests/win32/standin_kpsewhich.cpp)
set_target_properties(standin_kpsewhich PROPERTIES OUTPUT_NAME kpsewhich RUNTIME_OUTPUT_DIRECTORY ${KILN_STANDIN_DIR})
set_target_properties(standin_mf PROPERTIES OUTPUT_NAME mf RUNTIME_OUTPUT_DIRECTORY ${KILN_STANDIN_DIR})
set_target_properties(standin_gftopk PROPERTIES OUTPUT_NAME gftopk RUNTIME_OUTPUT_DIRECTORY ${KILN_STANDIN_DIR})
