# The Debian package of one workstation: everything `cmake --install` lays
# out, under /usr. Its dependencies are worked out by dpkg-shlibdeps from the
# shared libraries the programs and the engine link; the engine itself is a
# private library loaded by name, which no other package provides.
#
#   cmake --build build && cpack --config build/CPackConfig.cmake -G DEB
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kiv)
set(CPACK_PACKAGE_VENDOR Brackwater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "staff presence board for small offices")
set(CPACK_PACKAGE_DESCRIPTION
    "Kiv shows everybody in the office on one board: name, status, the time of
the last change, telephone extension, department and comment. Colleagues set
their status with one key, send each other short messages and ask to be
alerted when chosen colleagues change status. There is no server: every copy
shares one folder, normally on a network share.
.
This package holds the desktop program kiv and kivctl, the same board from the
command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian packages its debugging symbols apart; the programs are stripped.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brackwater <kiv@brackwater.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time: X11's comes with Qt's GUI library,
# these add the others a desktop may need (Wayland among them).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, qt6-wayland")
# Folders and files owned by root and readable by all, whatever the umask of
# the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
