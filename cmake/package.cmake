# The Debian package (cpack -G DEB, scripts/package) of everything installed with install()
# anywhere in the project. Included last, once every subproject has said what it needs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME evkit714)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "EVKIT714 developers")
set(CPACK_PACKAGE_CONTACT "${EVKIT_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control and evaluation program for the EVKIT714 measurement board")
# Lines within 79 columns: the control file indents each by one space.
set(CPACK_PACKAGE_DESCRIPTION
    "EVKIT714 connects to the EVKIT714 evaluation board, which carries one PM70xx
power and energy measurement converter, over USB. It identifies the device,
reads and edits its registers, captures sample blocks and analyses them (time
record, histogram, averaged spectrum with SINAD, SNR and distortion figures),
monitors and logs live results, calibrates, counts energy pulses and gives raw
access to registers and the board EEPROM.
.
The package holds the Qt desktop program evkit714, evkit714-cli, which offers
the same capabilities to scripts and test benches, and the Python 3 module
evkit714. A built-in virtual board (--board sim) makes every feature usable
without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries found from the binaries: what the Python module needs to load
# (python/CMakeLists.txt sets EVKIT_PYTHON_DEPENDS when the module is built).
if(EVKIT_PYTHON_DEPENDS)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${EVKIT_PYTHON_DEPENDS}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
