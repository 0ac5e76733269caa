# libFuzzer targets (clang only): configure with -DKILN_FUZZ=ON and
# CMAKE_CXX_COMPILER=clang++. The core is built with coverage instrumentation,
# and optimised: a fuzz run is worth its inputs per second.
target_compile_options(kilncore PRIVATE -fsanitize=fuzzer-no-link -O2)
foreach(target reader jobgen cmdline argsplit dvi vf)
  add_executable(${target}_fuzz fuzz/${target}_fuzz.cpp fuzz/fuzz_support.cpp)
  target_compile_options(${target}_fuzz PRIVATE -fsanitize=fuzzer -O2)
  target_link_options(${target}_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${target}_fuzz PRIVATE kilncore)
endforeach()
