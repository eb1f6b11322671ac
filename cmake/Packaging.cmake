# What the Debian package holds, and CPack's settings for it:
#   cmake --build --preset release --target package
# Programs go to bin, the M routines (with the demo's seeder) and sample client-bank files to
# share/velmbank, desktop entries and icons for the two windowed programs, a systemd unit for
# velmd. Rules are written here for every area, each only when its target exists.

include(GNUInstallDirs)
set(VELM_PKG velmbank)
set(VELM_SHARE ${CMAKE_INSTALL_DATADIR}/${VELM_PKG})

# velmbank-import installs itself (velmbank/batch).
foreach(program velmbank velmsetup velmsetup-console velmd xapicall velmdist clbmaker dbfdump)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# velmd looks for its routines at bin/../share/velmbank/m.
install(DIRECTORY server/m/sys server/m/velm DESTINATION ${VELM_SHARE}/m FILES_MATCHING PATTERN "*.m")
install(FILES server/m/README.md DESTINATION ${VELM_SHARE}/m)

# The demo's sample files, as `velmd demo` writes them, for trying the gateway on other data.
if(TARGET clbmaker)
  set(_demo ${CMAKE_CURRENT_BINARY_DIR}/packaging/demo)
  add_custom_command(OUTPUT ${_demo}/clbout.dbf ${_demo}/clbin.dbf
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${_demo}
                     COMMAND clbmaker out 200 1 ${_demo}/clbout.dbf --demo
                     COMMAND clbmaker in 100 2 ${_demo}/clbin.dbf
                     DEPENDS clbmaker VERBATIM)
  add_custom_target(velm_demo_files ALL DEPENDS ${_demo}/clbout.dbf ${_demo}/clbin.dbf)
  install(FILES ${_demo}/clbout.dbf ${_demo}/clbin.dbf DESTINATION ${VELM_SHARE}/demo)
endif()

install(FILES packaging/velmbank.desktop packaging/velmsetup.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/velmbank.svg packaging/velmsetup.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/velmd.service DESTINATION lib/systemd/system)
install(FILES packaging/velmd.default DESTINATION /etc/default RENAME velmd)
install(FILES README.md docs/velmbank-import.service docs/velmbank-import.timer
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VELM_PKG})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELM_PKG})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Remart")
set(CPACK_PACKAGE_CONTACT "Remart <velmbank@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Velm client-bank gateway, its installer and M server stand-in")
set(CPACK_PACKAGE_DESCRIPTION
    "velmbank imports payment documents from client-bank DBF files into the accounting system Velm; \
velmbank-import does the same unattended; velmsetup installs distributions of M routines into \
a server namespace; velmd is an M server stand-in on GT.M for trying and testing them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/velmbank")
# Declared by hand: dpkg-shlibdeps knows nothing of GT.M's private libgtmshr.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libcrypt1, fis-gtm (>= 7.0), libshp2, libglx0, libopengl0, libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), \
libqt6widgets6 (>= 6.2), libqt6network6 (>= 6.2), qt6-qpa-plugins, fonts-dejavu-core, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
