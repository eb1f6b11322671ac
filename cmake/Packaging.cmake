# What the Debian package holds, and CPack's settings for it:
#   cmake --build --preset release --target package
# Programs go to bin (velmd through its launcher), the M routines (with the demo's seeder) and
# sample client-bank files to share/velmbank, manual pages made from every program's --help,
# desktop entries and icons for the two windowed programs, a sandboxed systemd unit for velmd
# with its settings, log rotation and the machine's gateway profile in /etc. Rules are written
# here for every area, each only when its target exists.

include(GNUInstallDirs)
set(VELM_PKG velmbank)
set(VELM_SHARE ${CMAKE_INSTALL_DATADIR}/${VELM_PKG})
set(VELM_DOC ${CMAKE_INSTALL_DATADIR}/doc/${VELM_PKG})
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/packaging)

# Every program, with the summary line of its manual page.
set(VELM_PROGRAMS
    velmbank "the gateway: payment documents from client-bank files into Velm"
    velmbank-import "the gateway's import without windows, for schedulers"
    velmsetup "the installer of M routine distributions (wizard)"
    velmsetup-console "the installer's stages without windows"
    velmd "the M server stand-in on GT.M for the gateway and the installer"
    xapicall "one XAPI call through a connection profile"
    velmdist "builds a distribution file for the installer"
    clbmaker "writes sample client-bank files"
    dbfdump "shows a client-bank file as the gateway reads it")
set(_programs "")
set(_summaries "")
while(VELM_PROGRAMS)
  list(POP_FRONT VELM_PROGRAMS program summary)
  if(TARGET ${program})
    list(APPEND _programs ${program})
    list(APPEND _summaries "${summary}")
  endif()
endwhile()

# --help and --version (common/StandardOptions.h) answer with the package's version.
add_library(velm_standard_options INTERFACE)
target_include_directories(velm_standard_options INTERFACE ${PROJECT_SOURCE_DIR}/common)
target_compile_definitions(velm_standard_options INTERFACE VELM_VERSION="${PROJECT_VERSION}")
foreach(program IN LISTS _programs)
  target_link_libraries(${program} PRIVATE velm_standard_options)
  # velmbank-import installs itself (velmbank/batch).
  if(NOT program MATCHES "^(velmd|velmbank-import)$")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# velmd links GT.M's libgtmshr, which lies in a folder named after GT.M's version: the installed
# program carries no path to it, and /usr/bin/velmd (packaging/velmd-launcher.sh) finds the GT.M
# that is installed at every start. The build tree's velmd keeps its build path.
if(TARGET velmd)
  set_target_properties(velmd PROPERTIES INSTALL_RPATH "")
  install(TARGETS velmd RUNTIME DESTINATION lib/${VELM_PKG})
  install(PROGRAMS packaging/velmd-launcher.sh DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME velmd)
endif()

# Manual pages, made from each program's --help by running it (cmake/ManPage.cmake).
find_program(VELM_GZIP gzip REQUIRED)
set(_man_pages "")
foreach(program summary IN ZIP_LISTS _programs _summaries)
  set(_page ${_gen}/man/${program}.1)
  add_custom_command(OUTPUT ${_page}.gz
                     COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
                             "-DSUMMARY=${summary}" "-DSEEALSO=${_programs}" -DOUTPUT=${_page}
                             -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
                     COMMAND ${VELM_GZIP} -9nf ${_page}
                     DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake VERBATIM)
  list(APPEND _man_pages ${_page}.gz)
endforeach()
add_custom_target(velm_man_pages ALL DEPENDS ${_man_pages})
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# velmd looks for its routines at bin/../share/velmbank/m.
install(DIRECTORY server/m/sys server/m/velm DESTINATION ${VELM_SHARE}/m FILES_MATCHING PATTERN "*.m")

# The demo's sample files, as `velmd demo` writes them, for trying the gateway on other data.
if(TARGET clbmaker)
  set(_demo ${_gen}/demo)
  set(_samples ${_demo}/clbout.dbf ${_demo}/clbin.dbf ${_demo}/clbout1c.txt ${_demo}/clbin1c.txt)
  add_custom_command(OUTPUT ${_samples}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${_demo}
                     COMMAND clbmaker out 200 1 ${_demo}/clbout.dbf --demo
                     COMMAND clbmaker in 100 2 ${_demo}/clbin.dbf
                     COMMAND clbmaker out 200 1 ${_demo}/clbout1c.txt --demo --1c windows
                     COMMAND clbmaker in 100 2 ${_demo}/clbin1c.txt --1c dos
                     DEPENDS clbmaker VERBATIM)
  add_custom_target(velm_demo_files ALL DEPENDS ${_samples})
  install(FILES ${_samples} DESTINATION ${VELM_SHARE}/demo)
endif()

install(FILES packaging/velmbank.desktop packaging/velmsetup.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/velmbank.svg packaging/velmsetup.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/velmd.service DESTINATION lib/systemd/system)
# Absolute: the package's prefix is /usr, its settings are not.
install(FILES packaging/velmd.default DESTINATION /etc/default RENAME velmd)
install(FILES packaging/velmd.logrotate DESTINATION /etc/logrotate.d RENAME velmd)
install(FILES packaging/velmbank.ini DESTINATION /etc/velmbank)

# Documentation: Debian's changelog and the larger texts compressed, the copyright as it is; the
# unattended import's units as examples to adapt (nothing enables them).
set(_docs "")
foreach(doc packaging/changelog README.md server/m/README.md)
  get_filename_component(_name ${doc} NAME)
  if(doc STREQUAL "server/m/README.md")
    set(_name README.routines.md)
  endif()
  add_custom_command(OUTPUT ${_gen}/doc/${_name}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/doc
                     COMMAND ${VELM_GZIP} -9nc ${PROJECT_SOURCE_DIR}/${doc} > ${_gen}/doc/${_name}.gz
                     DEPENDS ${doc})
  list(APPEND _docs ${_gen}/doc/${_name}.gz)
endforeach()
# The server's and the file formats' pages, where the README's links point.
set(_pages "")
foreach(doc docs/server.md docs/formats.md)
  get_filename_component(_name ${doc} NAME)
  add_custom_command(OUTPUT ${_gen}/doc/docs/${_name}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/doc/docs
                     COMMAND ${VELM_GZIP} -9nc ${PROJECT_SOURCE_DIR}/${doc} > ${_gen}/doc/docs/${_name}.gz
                     DEPENDS ${doc})
  list(APPEND _pages ${_gen}/doc/docs/${_name}.gz)
endforeach()
add_custom_target(velm_docs ALL DEPENDS ${_docs} ${_pages})
install(FILES ${_docs} packaging/copyright packaging/README.Debian DESTINATION ${VELM_DOC})
install(FILES ${_pages} DESTINATION ${VELM_DOC}/docs)
install(FILES docs/velmbank-import.service docs/velmbank-import.timer DESTINATION ${VELM_DOC}/examples)
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${VELM_PKG})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELM_PKG})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Remart")
# The project's own address, the one its commits carry.
set(CPACK_PACKAGE_CONTACT "Seed 0fb72b60 maintainers <maintainers@users.noreply.c-seed-0fb72b60.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Velm client-bank gateway, its installer and M server stand-in")
# Lines of at most 80 characters, as Debian's control files want them; CPack puts the summary
# above them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "velmbank imports payment documents from the DBF files and 1C exchange texts
of a bank's client software into the accounting system Velm, which runs as
M routines on a database server; velmbank-import does the same unattended.
velmsetup installs distributions of M routines into a server namespace.
velmd, an M server stand-in on GT.M, serves both for trying and testing them;
it comes as a sandboxed systemd service with demo data, which the gateway's
system-wide profile points at.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Declared by hand: dpkg-shlibdeps knows nothing of GT.M's private libgtmshr. velmd runs on any
# GT.M of 7.0 or later that fis-gtm brings (the launcher takes the newest installed).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libcrypt1, fis-gtm (>= 7.0), libshp2, libglx0, libopengl0, libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), \
libqt6widgets6 (>= 6.2), libqt6network6 (>= 6.2), libqt6svg6, qt6-qpa-plugins, qt6-translations-l10n, fonts-dejavu-core, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "logrotate")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst ${CMAKE_CURRENT_SOURCE_DIR}/packaging/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm ${CMAKE_CURRENT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
