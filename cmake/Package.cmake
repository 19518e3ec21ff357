# The Debian package: `cpack` in the build folder writes quendral_<version>_<arch>.deb
# there (scripts/package.sh). Its dependencies on shared libraries are found by
# dpkg-shlibdeps; the fonts are data files that no library link shows.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quendral)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quendral Fast Image Processor developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian wraps nothing: the lines stay under 80 characters as written here.
set(CPACK_PACKAGE_DESCRIPTION [[
Quendral Fast Image Processor measures a series of pictures one click at a
time. Open the whole series at once, point at the spot of interest and click
or press Enter: the program measures the brightness of a small window around
the pointer and of a background window, logs one result line and shows the
next picture at once. The results log is saved as a plain text file.
Windows bitmaps (BMP) are measured; icons and metafiles are shown.]])
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quendral developers <maintainers@quendral.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Sans-serif faces for the forms; the fonts libwmf must load before it draws a metafile.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-urw-base35")

include(CPack)
