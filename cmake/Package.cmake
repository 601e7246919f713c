# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package of what `cmake --install` puts in place: run `cpack -G DEB`
# in the build folder.
set(CPACK_PACKAGE_NAME tarvello-file-splitter)
set(CPACK_PACKAGE_VENDOR Tarvello)
set(CPACK_PACKAGE_CONTACT "Tarvello <support@tarvello.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Split files into numbered parts and join them back")
# Below the summary, Debian shows the description's lines as they are: each
# within 80 columns.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Cuts a file of any type and size into numbered parts (movie.avi.001, ...),"
    "joins such sets back, computes a file's CRC-32, compares two files byte for"
    "byte and splits at ten media presets. A command line does the same in"
    "scripts and pipes.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://tarvello.example.org)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries it links come from dpkg-shlibdeps; what Qt loads at run time
# is named here: the platform plugins of Wayland (X11's comes with Qt's GUI
# library, the SVG icon engine with the SVG library it links) and the Tahoma
# of the window's skin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, fonts-wine")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
