# The terminal program as a Unix program: its message catalogues (compiled
# from po/*.po), `cmake --install` and the Debian package. Included from
# cmake/term.cmake; nothing here touches the Windows build.
set(CMAKE_INSTALL_DOCDIR share/doc/fontkiln CACHE PATH "kiln's documentation")
include(GNUInstallDirs)

# The catalogues are found from the executable's own directory, so that an
# installed tree can be moved: the installed layout's relative path, and in
# the build tree share/locale beside kiln.
file(RELATIVE_PATH KILN_LOCALE_FROM_BIN
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LOCALEDIR})
set_property(SOURCE ui/term/catalogue.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS KILN_LOCALE_FROM_BIN="${KILN_LOCALE_FROM_BIN}")

find_program(KILN_MSGFMT msgfmt REQUIRED)
file(STRINGS po/LINGUAS KILN_LINGUAS REGEX "^[a-zA-Z]")
set(KILN_CATALOGUES)
foreach(language IN LISTS KILN_LINGUAS)
  set(po ${CMAKE_CURRENT_SOURCE_DIR}/po/${language}.po)
  set(dir ${CMAKE_BINARY_DIR}/share/locale/${language}/LC_MESSAGES)
  add_custom_command(OUTPUT ${dir}/kiln.mo
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${KILN_MSGFMT} --check -o ${dir}/kiln.mo ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${language} catalogue")
  list(APPEND KILN_CATALOGUES ${dir}/kiln.mo)
  install(FILES ${dir}/kiln.mo DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
endforeach()
add_custom_target(kiln_catalogues ALL DEPENDS ${KILN_CATALOGUES})
add_dependencies(kiln kiln_catalogues)

install(TARGETS kiln RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/kiln.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES examples/FONTS.DAT README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME fontkiln)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds the PK bitmap fonts of a TeX installation in one batch")
set(CPACK_PACKAGE_DESCRIPTION
  "kiln runs METAFONT and gftopk for every missing font of the font sets\n\
named in a plain-text definition file, files the TFM and log files, shows\n\
its progress with an expected end, and reports a summary.")
set(CPACK_PACKAGE_CONTACT "Fontkiln developers <fontkiln@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION tex)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "texlive-binaries, texlive-base")
# The C++ runtime's packages, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
