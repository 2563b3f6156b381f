# The Debian packages built by `make package` (CPack): quillex holds the
# window, quillex-cli and the desktop files; quillex-tools the simulated
# devices. Installed under /usr, dependencies found by dpkg-shlibdeps. With
# SOURCE_DATE_EPOCH set (`make package` sets it to the commit's time), two
# builds of one commit give the same bytes.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillex)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL quillex tools)
set(CPACK_DEBIAN_QUILLEX_PACKAGE_NAME quillex)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quillex-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Each package's description starts with its summary line (CPACK_PACKAGE_DESCRIPTION_SUMMARY
# would head both).
set(CPACK_DEBIAN_QUILLEX_DESCRIPTION "desktop client for Quillex devices on CNC machines
Quillex devices are small wireless boxes on the RS-232 port of a CNC machine
control. This client finds them on the workshop network and shows their live
status, edits G-code with syntax colours, uploads programs with a start-from
index of their tool changes, downloads stored programs, raw captures and
Mazatrol CMT files, and configures the devices. The window's texts are in
Turkish.

The package holds the window (quillex) and the command-line client for shop
scripts (quillex-cli); the simulated devices are in quillex-tools.")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "simulated Quillex devices for tests and demonstrations
quillex-devsim runs simulated Quillex devices on loopback addresses: their
command, upload and download ports and their encrypted status datagrams. It
serves tests and demonstrations of the quillex client without a CNC machine;
a shop-floor workstation does not need it.")
set(QUILLEX_PACKAGE_MAINTAINER "Quillex developers <developers@quillex.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${QUILLEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The transfer history's SQLite driver is a Qt plug-in, loaded at run time: no
# library names it; nor the Turkish texts of Qt's own dialogs.
set(CPACK_DEBIAN_QUILLEX_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-translations-l10n")
# The shared transfer history on a PostgreSQL server: Qt's PostgreSQL driver,
# likewise a plug-in. Recommended: a workstation without a server needs none.
set(CPACK_DEBIAN_QUILLEX_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only what the package installs: no tests, no headers.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
