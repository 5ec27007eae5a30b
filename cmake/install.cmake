# Manual pages (help2man, from the programs' own --help), install rules (GNUInstallDirs)
# and the Debian package (CPack DEB).
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

# --- Install rules --------------------------------------------------------------------------
install(TARGETS evkit714 evkit714-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/evkit714.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/evkit714.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES README.md packaging/60-evkit714.rules DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(EVKIT_MAN_PAGES)
  install(FILES ${EVKIT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# --- Debian package: cpack -G DEB (scripts/package) -----------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME evkit714)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "EVKIT714 developers")
set(CPACK_PACKAGE_CONTACT "EVKIT714 developers <evkit714@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control and evaluation program for the EVKIT714 measurement board")
set(CPACK_PACKAGE_DESCRIPTION
    "EVKIT714 connects to the EVKIT714 evaluation board, which carries one PM70xx power and
energy measurement converter, over USB. It identifies the device, reads and edits its
registers, captures sample blocks and analyses them (time record, histogram, averaged
spectrum with SINAD, SNR and distortion figures), monitors and logs live results,
calibrates, counts energy pulses and gives raw access to registers and the board EEPROM.
.
The package holds the Qt desktop program evkit714 and evkit714-cli, which offers the same
capabilities to scripts and test benches. A built-in virtual board (--board sim) makes
every feature usable without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
