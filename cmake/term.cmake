# The POSIX terminal program `kiln`: the front end in ui/term over the core.
file(GLOB KILN_TERM_SOURCES CONFIGURE_DEPENDS ui/term/*.cpp)
list(FILTER KILN_TERM_SOURCES EXCLUDE REGEX "/main\\.cpp$")
# Everything but main in a library, so that the terminal tests link it too.
add_library(kilnterm STATIC ${KILN_TERM_SOURCES})
target_link_libraries(kilnterm PUBLIC kilncore)
add_executable(kiln ui/term/main.cpp)
target_link_libraries(kiln PRIVATE kilnterm)
include(cmake/install.cmake)
