# libFuzzer targets (clang only): configure with -DKILN_FUZZ=ON and
# CMAKE_CXX_COMPILER=clang++. The core is built with coverage instrumentation,
# and optimised: a fuzz run is worth its inputs per second. The dynamic type
# check (vptr) is left out here: it costs the job generator a third of its
# inputs, and the sanitizer test build keeps it.
set(KILN_FUZZ_FLAGS -O2)
if(KILN_SANITIZE)
  list(APPEND KILN_FUZZ_FLAGS -fno-sanitize=vptr)
endif()
target_compile_options(kilncore PRIVATE -fsanitize=fuzzer-no-link ${KILN_FUZZ_FLAGS})
foreach(target reader jobgen cmdline argsplit dvi vf request)
  add_executable(${target}_fuzz fuzz/${target}_fuzz.cpp fuzz/fuzz_support.cpp)
  target_compile_options(${target}_fuzz PRIVATE -fsanitize=fuzzer ${KILN_FUZZ_FLAGS})
  target_link_options(${target}_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${target}_fuzz PRIVATE kilncore)
endforeach()
