# The Debian package: `make package` runs cpack on a Release build with this.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvane-updater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${TARVANE_PUBLISHER})
set(CPACK_PACKAGE_CONTACT "Tarvane Firmware Team <firmware@tarvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for the Tarvane instrument's boards")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary first, as the synopsis; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Updates the Interface and Display boards of the Tarvane, a battery-powered
test instrument, through their USB HID bootloaders. The board's Intel HEX
file is checked whole before the board is touched; the board is then erased,
programmed, verified by CRC-16 and started, every step told in plain words.

The package holds the guided window tarvane-updater, the terminal tool
tarvane-update for scripts and production lines, the simulated board
tarvane-sim for training and tests, and a udev rule that lets the logged-in
user reach a board in bootloader mode without root.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugin at run time, so no library dependency names
# it; without it the window cannot open. The window's layout is measured in
# Open Sans where its own font is missing.
if(TARVANE_WITH_QT)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-open-sans)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst
    ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
