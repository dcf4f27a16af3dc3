# The Debian package, built by CPack's DEB generator from the same install() rules as
# `cmake --install`, with the version of project().
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cellwarden)
set(CPACK_PACKAGE_VENDOR "Cellwarden Tools")
set(CPACK_PACKAGE_CONTACT "${CW_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${cw_summary}")
# Debian shows the long description as it stands: lines under 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Cellwarden Tools is the workbench battery-pack engineers use with the KT580714"
  "fuel gauge, through a USB-to-SMBus adapter: watch and log its registers, edit"
  "its data-flash constants, calibrate, authenticate, send SMBus and"
  "ManufacturerAccess commands and update its firmware."
  ""
  "The package holds the desktop program cellwarden, the command line"
  "cellwarden-cli, the pipe library libcwpipes for other programs, and a udev"
  "rule that gives the logged-in user the adapter without root. Both programs"
  "run on a built-in simulated pack (--sim) when no adapter is at hand.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies are read from the libraries the programs link (dpkg-shlibdeps), never listed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/postrm ${CMAKE_CURRENT_SOURCE_DIR}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Install into the staging folder through DESTDIR, so that install steps which write the prefix
# into a file (the pipe library's pkg-config file) write /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
include(CPack)
