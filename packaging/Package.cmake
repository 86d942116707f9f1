# The Debian package (scripts/package: cpack -G DEB in build-package/): both programs, the desktop
# entry, the icon in the hicolor sizes, the Italian man pages of both programs, the
# machine-wide configuration /etc/velumbra.ini (a conffile), the copyright and changelog files.
include(GNUInstallDirs)
set(_pkg "${CMAKE_CURRENT_LIST_DIR}")
set(_doc "${CMAKE_INSTALL_DATADIR}/doc/velumbra")
set(VELUMBRA_DEB_VERSION "${PROJECT_VERSION}-1")

install(FILES ${_pkg}/velumbra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/res/hicolor/velumbra-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME velumbra.png)
endforeach()
# /etc itself, not /usr/etc: the program looks there when nothing is beside it (Configuration::IniPath).
install(FILES ${_pkg}/velumbra.ini DESTINATION /etc)

find_program(GZIP gzip REQUIRED)
# The manual pages of both programs, in Italian, written by hand.
foreach(_page velumbra velumbra-cli)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${_page}.1.gz
    COMMAND ${GZIP} -9nc ${_pkg}/${_page}.1 > ${CMAKE_CURRENT_BINARY_DIR}/${_page}.1.gz
    DEPENDS ${_pkg}/${_page}.1)
  list(APPEND _man_pages ${CMAKE_CURRENT_BINARY_DIR}/${_page}.1.gz)
endforeach()
add_custom_target(velumbra_man ALL DEPENDS ${_man_pages})
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

configure_file(${_pkg}/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${GZIP} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian)
add_custom_target(velumbra_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz ${_pkg}/copyright DESTINATION ${_doc})

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "/etc/velumbra.ini\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velumbra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velumbra developers <velumbra@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "census of the structures of a public-transport company")
set(CPACK_PACKAGE_DESCRIPTION "Velumbra keeps the census of a local public-transport company's
structures (bus depots, workshops, coach stations, offices) and exchanges
it with the regional transport observatory as a checksummed text file.
The package holds the desktop program (velumbra) and the command-line
tool (velumbra-cli).")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugins Qt loads at run time, and the Italian texts of Qt's own dialogs (the file and
# print dialogs).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_WARN_ON_ABSOLUTE_INSTALL_DESTINATION OFF)
include(CPack)
