# The Debian package: `make package` (cpack -G DEB in the build folder) makes
# vardel_<version>_amd64.deb. The program sits in a folder of its own,
# /usr/lib/vardel, where the firmware files go beside it; /usr/bin/vardel
# links to it, and the program still finds its folder through the link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vardel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Vardel developers <vardel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rewrites the MCU firmware of a car head unit over its serial line")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vardel sends a firmware image to the microcontroller (MCU) inside a car head
unit over the unit's internal serial line, at 38,400 baud 8N1. The MCU asks
for 64-byte blocks by number and Vardel answers each with the block and two
check bytes. One window shows the status, the step, the percentage and a
progress bar; its texts are in Chinese.
.
The firmware file, KD51A.BIN or MTK51A.BIN, goes into /usr/lib/vardel
beside the program. The serial device is fixed when the program is built.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links come from dpkg-shlibdeps; the font is for
# the window's Chinese texts, which are boxes without a CJK font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-wqy-microhei)
include(CPack)
