# The Debian package built by `make package` (CPack): the programs and the
# desktop files installed under /usr, dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for Quillex devices on CNC machines")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillex devices are small wireless boxes on the RS-232 port of a CNC machine
control. This client finds them on the workshop network and shows their live
status, edits G-code with syntax colours, uploads programs with a start-from
index of their tool changes, downloads stored programs, raw captures and
Mazatrol CMT files, and configures the devices. The window's texts are in
Turkish.

The package holds the window (quillex), the command-line client for shop
scripts (quillex-cli) and simulated devices for tests and demonstrations
(quillex-devsim).")
set(QUILLEX_PACKAGE_MAINTAINER "Quillex developers <developers@quillex.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${QUILLEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The transfer history's SQLite driver is a Qt plug-in, loaded at run time: no library names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
# The shared transfer history on a PostgreSQL server: Qt's PostgreSQL driver,
# likewise a plug-in. Recommended: a workstation without a server needs none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only what the package installs: no tests, no headers.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
