# Installs Vellumtree as a desktop program: the two executables, their language files
# and help document under share/vellumtree (where the program looks when it finds
# nothing beside itself), the desktop entry, the MIME types of the three file kinds, the
# icons, the AppStream metadata, the man pages, and the package's copyright and
# changelog. CPack builds a Debian package from it.

include(GNUInstallDirs)

set(VT_APPSTREAM_ID "org.vellumtree.Vellumtree" CACHE STRING "AppStream component id")
set(VT_HOMEPAGE "https://vellumtree.example.org/" CACHE STRING "Project home page")
set(VT_SCREENSHOT_URL "${VT_HOMEPAGE}screenshot.png" CACHE STRING
    "Where the published screenshot (docs/screenshot.png) lives")
set(VT_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX expression of the program's licence")

set(_res ${PROJECT_SOURCE_DIR}/res)
# The program takes "../share/vellumtree" from its own folder: keep the two in step.
set(_data ${CMAKE_INSTALL_DATAROOTDIR}/vellumtree)

install(TARGETS vellumtree vellumtree-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${_res}/lng/ DESTINATION ${_data}/lng FILES_MATCHING PATTERN "*.lng")
install(FILES ${_res}/Help.vlt DESTINATION ${_data})

install(FILES ${_res}/desktop/vellumtree.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${_res}/desktop/vellumtree-vlt.xml ${_res}/desktop/vellumtree-vle.xml
              ${_res}/desktop/vellumtree-vlx.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages)

set(_icons ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
foreach(_size 16 32 48 64 128 256)
    install(FILES ${_res}/images/vellumtree-${_size}.png
            DESTINATION ${_icons}/${_size}x${_size}/apps RENAME vellumtree.png)
endforeach()
install(FILES ${_res}/icons/vellumtree.svg DESTINATION ${_icons}/scalable/apps)
install(FILES ${_res}/icons/application-x-vellumtree-vlt.svg
              ${_res}/icons/application-x-vellumtree-vle.svg
              ${_res}/icons/application-x-vellumtree-vlx.svg
        DESTINATION ${_icons}/scalable/mimetypes)

configure_file(${_res}/desktop/vellumtree.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${VT_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${VT_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# Debian wants manual pages and the changelog compressed, reproducibly (no name or time
# stamp inside).
find_program(VT_GZIP gzip REQUIRED)
set(_compressed)
function(vt_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${VT_GZIP} -9 -n -c ${source} > ${output}
        DEPENDS ${source}
        VERBATIM)
    set(_compressed ${_compressed} ${output} PARENT_SCOPE)
endfunction()
vt_gzip(${PROJECT_SOURCE_DIR}/docs/vellumtree.1 ${PROJECT_BINARY_DIR}/vellumtree.1.gz)
vt_gzip(${PROJECT_SOURCE_DIR}/docs/vellumtree-cli.1 ${PROJECT_BINARY_DIR}/vellumtree-cli.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/vellumtree.1.gz ${PROJECT_BINARY_DIR}/vellumtree-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package's own papers: who holds the rights and what changed. A version without a
# Debian revision makes the package native, whose changelog is changelog.gz.
set(VT_PACKAGE_CONTACT "Vellumtree maintainers <vellumtree@example.org>" CACHE STRING
    "Maintainer of the Debian package")
set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/vellumtree)
configure_file(${_res}/debian/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
configure_file(${_res}/debian/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
vt_gzip(${PROJECT_BINARY_DIR}/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${_doc})
add_custom_target(vt_package_papers ALL DEPENDS ${_compressed})

# cpack -G DEB: the package's library dependencies come from the binaries.
set(CPACK_PACKAGE_NAME vellumtree)
set(CPACK_PACKAGE_VENDOR "Vellumtree")
set(CPACK_PACKAGE_CONTACT ${VT_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tree-structured plain-text notes manager")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Vellumtree keeps any number of plain-text notes in one file, arranged as\n"
    "a tree. Notes files are small HTML documents, and a file may be protected\n"
    "by a password. The package holds the desktop program and the command-line\n"
    "tool vellumtree-cli.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${VT_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# lintian counts each line of the long description: at most 80 characters.
# Qt loads its Wayland platform plugin at run time, so no library of ours names it:
# without it, a Wayland session runs the program through XWayland or not at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
# The menu and the file types need the desktop's databases refreshed after install;
# shared-mime-info and desktop-file-utils do that through their triggers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, xdg-utils")
include(CPack)
