# Manual pages (help2man, from the programs' own --help), the Debian changelog and the
# install rules (GNUInstallDirs). The Debian package itself: cmake/package.cmake.
#
# Everything installed with install() anywhere in the project goes into the package; a
# subproject (such as python/) only needs its own install() rules.
include(GNUInstallDirs)

# --- Manual pages -------------------------------------------------------------------------
option(EVKIT_MANPAGES "Generate the manual pages with help2man" ON)
set(EVKIT_MAN_PAGES "")
if(EVKIT_MANPAGES AND NOT EVKIT_SANITIZE)
  find_program(HELP2MAN_PROGRAM help2man)
  find_program(GZIP_PROGRAM gzip)
  if(HELP2MAN_PROGRAM AND GZIP_PROGRAM)
    set(EVKIT_MAN_NAME_evkit714 "control and evaluation program for the EVKIT714 board")
    set(EVKIT_MAN_NAME_evkit714-cli "control the EVKIT714 board from scripts and test benches")
    foreach(program evkit714 evkit714-cli)
      set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
      set(include ${CMAKE_SOURCE_DIR}/packaging/${program}.h2m)
      # No display while the help is taken: the desktop program must print it without one.
      add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                ${HELP2MAN_PROGRAM} --no-info --section=1 --version-string=${PROJECT_VERSION}
                "--name=${EVKIT_MAN_NAME_${program}}" --include=${include} --output=${page}
                $<TARGET_FILE:${program}>
        COMMAND ${GZIP_PROGRAM} -9nf ${page}
        DEPENDS ${program} ${include}
        COMMENT "Generating the manual page ${program}(1)"
        VERBATIM)
      list(APPEND EVKIT_MAN_PAGES ${page}.gz)
    endforeach()
    add_custom_target(man ALL DEPENDS ${EVKIT_MAN_PAGES})
  else()
    message(WARNING "help2man or gzip not found: no manual pages (scripts/setup-deps installs help2man)")
  endif()
endif()

# --- Debian changelog, made from CHANGELOG.md ---------------------------------------------
find_program(GZIP_PROGRAM gzip)
set(EVKIT_CONTACT "EVKIT714 developers <evkit714@example.org>")
if(GZIP_PROGRAM)
  set(EVKIT_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog)
  add_custom_command(
    OUTPUT ${EVKIT_DEBIAN_CHANGELOG}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
    COMMAND ${CMAKE_SOURCE_DIR}/packaging/debian-changelog ${CMAKE_SOURCE_DIR}/CHANGELOG.md
            evkit714 ${PROJECT_VERSION} ${EVKIT_CONTACT} ${EVKIT_DEBIAN_CHANGELOG}
    COMMAND ${GZIP_PROGRAM} -9nf ${EVKIT_DEBIAN_CHANGELOG}
    DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_SOURCE_DIR}/packaging/debian-changelog
    COMMENT "Generating the Debian changelog from CHANGELOG.md"
    VERBATIM)
  add_custom_target(debian_changelog ALL DEPENDS ${EVKIT_DEBIAN_CHANGELOG}.gz)
  install(FILES ${EVKIT_DEBIAN_CHANGELOG}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  message(WARNING "gzip not found: no Debian changelog")
endif()

# --- Install rules --------------------------------------------------------------------------
install(TARGETS evkit714 evkit714-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/evkit714.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/evkit714.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES README.md LICENSE CHANGELOG.md packaging/60-evkit714.rules packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(EVKIT_MAN_PAGES)
  install(FILES ${EVKIT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
