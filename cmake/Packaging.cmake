# Desktop integration (entry, icons, AppStream metainfo, shell completion) and the Debian package.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/resources/tallyscope.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${TALLYSCOPE_APP_ID}.desktop)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tallyscope.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME ${TALLYSCOPE_APP_ID}.metainfo.xml)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${size}x${size}/tallyscope.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/scalable/tallyscope.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Where bash-completion loads a command's completion from when it is first
# completed (its completionsdir under the /usr prefix).
install(FILES ${PROJECT_SOURCE_DIR}/resources/bash-completion/tallyscope
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_PACKAGE_NAME tallyscope)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Serial port terminal and monitor")
# Debian shows the long description as it is, so its lines are kept short.
set(CPACK_PACKAGE_DESCRIPTION "Shows what a board sends on a serial port, as text or hexadecimal, with\n\
times and colours, and sends typed or stored frames once, in cycles or when\n\
an answer arrives. Made to run for days against hardware that is reset,\n\
unplugged and plugged back in.")
set(CPACK_PACKAGE_CONTACT "Tallyscope developers <tallyscope@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debian's section for serial and modem communication programs.
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin at run time, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
