# `cpack` (./package.sh) turns the install tree into a Debian package,
# kanvo_<version>_<arch>.deb. The shared libraries the binary links are
# computed by dpkg-shlibdeps; what it uses without linking is named here:
# Node.js runs the generate script and the local server, the Breeze theme
# draws the palette and toolbar icons, and Qt's SVG plugins render them.
set(CPACK_PACKAGE_NAME kanvo)
set(CPACK_PACKAGE_VENDOR "The Kanvo developers")
set(CPACK_PACKAGE_CONTACT "The Kanvo developers <kanvo@kanvo.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small, fast image editor with a text-to-image bar")
set(CPACK_PACKAGE_DESCRIPTION
    "Kanvo opens PNG, JPEG and PPM images, zooms, pans, moves the layer with snapping guides,\n\
crops and exports PNG or JPEG. Its Generate bar asks a local image-generation server for an\n\
image from a text prompt.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kanvo.org/")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kanvo)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# sharp, which the generate script converts JPEG and WEBP replies with, needs Node.js 18.17.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "nodejs (>= 18.17), breeze-icon-theme, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
