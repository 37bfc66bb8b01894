# Installs the desktop integration and builds a Debian package with CPack.
#
# The program and everything it loads at run time (viewer library, help file,
# player files) go into ${TESSARO_INSTALL_DIR}; their install() rules live
# with their targets. Here: the launcher in bin/, the desktop entry and the icon.

set(TESSARO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# bin/tessaro and bin/tessaro-find are relative symbolic links to the programs,
# so the prefix can move. A program finds its run-time files (and tessaro-find
# its page program) next to its real path, not the link's.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
foreach(program tessaro tessaro-find)
  file(RELATIVE_PATH launcher_target /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TESSARO_INSTALL_DIR}/${program})
  file(CREATE_LINK ${launcher_target} ${CMAKE_BINARY_DIR}/packaging/${program} SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${TESSARO_PACKAGING_DIR}/tessaro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSARO_PACKAGING_DIR}/tessaro.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${TESSARO_PACKAGING_DIR}/tessaro.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

# Ruffle's licence texts travel with its files.
file(GLOB tessaro_ruffle_licences ${PROJECT_SOURCE_DIR}/node_modules/@ruffle-rs/ruffle/LICENSE*)
install(FILES ${tessaro_ruffle_licences} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessaro/ruffle)

# Everything the package holds, so that a packaging run builds no tests.
add_custom_target(tessaro_package_content)
foreach(target tessaro tessaro-find tessaro-find-pages tessarohelp tessaro_help_file tessaro_ruffle_files tessaro_find_manual)
  if(TARGET ${target})
    add_dependencies(tessaro_package_content ${target})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VENDOR "Tessaro")
set(CPACK_PACKAGE_CONTACT "Tessaro maintainers <tessaro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds Flash movies in web pages and browser caches and saves copies")
set(CPACK_PACKAGE_DESCRIPTION
  "Tessaro lists the Flash movies (SWF) of a web page and its frames, and those kept in
the disk caches of the user's web browsers, previews them with the Ruffle emulator
and saves copies into a folder of the user's choice.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/tessaro")
# Debian 12's own packages: those of the libraries the program and the viewer
# library link (scripts/package-check.sh checks that none is missing), and what
# no link shows: the web engine's helper process and resources, which live in
# packages of their own. The xcb platform plugin comes with libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6, libstdc++6, libgcc-s1, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libqt6network6 (>= 6.4), libqt6webenginecore6 (>= 6.4), libqt6webenginewidgets6 (>= 6.4), \
libqt6webenginecore6-bin (>= 6.4), libqt6webengine6-data (>= 6.4), libqt6webchannel6 (>= 6.4), \
libcurl4, libssl3, libchm1, liblz4-1, libbrotli1, liblzma5, zlib1g, libzip4, liburing2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)

include(CPack)
