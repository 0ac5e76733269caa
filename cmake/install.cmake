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
  # English is built into kiln (below); the other languages are files.
  if(NOT language STREQUAL "en")
    install(FILES ${dir}/kiln.mo DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
  endif()
endforeach()
add_custom_target(kiln_catalogues ALL DEPENDS ${KILN_CATALOGUES})
add_dependencies(kiln kiln_catalogues)

# The English catalogue as an array in kiln itself: a kiln copied alone, or
# one whose share/locale is lost, still speaks English and never the source
# texts' mix of Japanese and English.
set(KILN_ENGLISH_CPP ${CMAKE_BINARY_DIR}/generated/english_catalogue.cpp)
add_custom_command(OUTPUT ${KILN_ENGLISH_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_BINARY_DIR}/share/locale/en/LC_MESSAGES/kiln.mo
          -DOUTPUT=${KILN_ENGLISH_CPP} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_catalogue.cmake
  DEPENDS ${CMAKE_BINARY_DIR}/share/locale/en/LC_MESSAGES/kiln.mo
          ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_catalogue.cmake
  COMMENT "Building the English catalogue into kiln")
target_sources(kilnterm PRIVATE ${KILN_ENGLISH_CPP})

# The manual page and the changelog compressed as Debian wants them (gzip
# -n: no name or time stamp, so that two builds give the same bytes).
set(KILN_MAINTAINER "Fontkiln authors <fontkiln@example.org>" CACHE STRING
  "the package's maintainer: a name and address, as a distributor sets it")
set(KILN_DOC_BUILD ${CMAKE_BINARY_DIR}/doc)
configure_file(packaging/changelog.in ${KILN_DOC_BUILD}/changelog @ONLY)
find_program(KILN_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${KILN_DOC_BUILD}/kiln.1.gz ${KILN_DOC_BUILD}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/docs/kiln.1 ${KILN_DOC_BUILD}/kiln.1
  COMMAND ${KILN_GZIP} -9nf ${KILN_DOC_BUILD}/kiln.1
  COMMAND ${KILN_GZIP} -9nkf ${KILN_DOC_BUILD}/changelog
  DEPENDS docs/kiln.1 ${KILN_DOC_BUILD}/changelog
  COMMENT "Compressing the manual page and the changelog")
add_custom_target(kiln_docs ALL DEPENDS ${KILN_DOC_BUILD}/kiln.1.gz ${KILN_DOC_BUILD}/changelog.gz)

install(TARGETS kiln RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# mktexpk, the on-demand font maker for TeX's programs, in a folder of its
# own (never over TeX's), in the build tree beside kiln's share/ and in
# PREFIX/lib/fontkiln/bin. It finds kiln by its own path, so the tree may move.
set(KILN_MAKER_SUBDIR lib/fontkiln/bin)
set(KILN_FROM_MAKER ../../../kiln)
configure_file(ui/term/mktexpk.in ${CMAKE_BINARY_DIR}/${KILN_MAKER_SUBDIR}/mktexpk @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE)
file(RELATIVE_PATH KILN_FROM_MAKER ${CMAKE_INSTALL_PREFIX}/${KILN_MAKER_SUBDIR}
  ${CMAKE_INSTALL_FULL_BINDIR}/kiln)
configure_file(ui/term/mktexpk.in ${KILN_DOC_BUILD}/mktexpk @ONLY)
install(PROGRAMS ${KILN_DOC_BUILD}/mktexpk DESTINATION ${KILN_MAKER_SUBDIR})
install(FILES ${KILN_DOC_BUILD}/kiln.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES examples/FONTS.DAT README.md packaging/copyright ${KILN_DOC_BUILD}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The package says the licence in its copyright file, as Debian wants it.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)

# Shell completion where the shells look for it: bash-completion reads
# share/bash-completion/completions under every prefix on XDG_DATA_DIRS and
# beside the command's own bin/; zsh reads share/zsh/vendor-completions under
# the system prefix (/usr, and so the package) and share/zsh/site-functions
# under /usr/local. The prefix is known only when installing (the package is
# installed into a staging copy of /usr), so the zsh folder is chosen then.
install(FILES completion/kiln.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kiln)
install(CODE "set(KILN_ZSH_SOURCE \"${CMAKE_CURRENT_SOURCE_DIR}/completion/_kiln\")")
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "(^|/)usr/?$")
    set(zsh_dir share/zsh/vendor-completions)
  else()
    set(zsh_dir share/zsh/site-functions)
  endif()
  file(INSTALL ${KILN_ZSH_SOURCE} DESTINATION "${CMAKE_INSTALL_PREFIX}/${zsh_dir}")
]])

set(CPACK_PACKAGE_NAME fontkiln)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds the PK bitmap fonts of a TeX installation in one batch")
set(CPACK_PACKAGE_DESCRIPTION
  "kiln runs METAFONT and gftopk for every missing font of the font sets\n\
named in a plain-text definition file, files the TFM and log files, shows\n\
its progress with an expected end, and reports a summary.")
set(CPACK_PACKAGE_CONTACT "${KILN_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION tex)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "texlive-binaries, texlive-base")
# The C++ runtime's packages, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every install rule but the licence file (the package has its copyright file).
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
include(CPack)
