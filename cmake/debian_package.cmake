# The Debian package (cpack -G DEB, see scripts/package.sh): the four executables, their
# manual pages and the README, as laid down by the install rules.

# What the install rules ship. scripts/package.sh builds only this, and installing does not
# build the whole tree first: the tests and benchmarks never enter the package and need not
# be built for it.
add_custom_target(shipped)
add_dependencies(shipped ringcalib ringcalib_synth_cli ringcalib_compare_cli ringcalib_export_cli man_pages)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "ringcalib developer <dev@ringcalib.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calibrate a ring of six fisheye cameras")
set(CPACK_PACKAGE_DESCRIPTION "\
ringcalib calibrates a rig of six fisheye cameras mounted in a ring, for
360 degree stitching and depth maps. From one checkerboard video per
camera it finds each camera's fisheye intrinsics; from one still per
camera, the relative rotation and the direction of the translation of
each neighbouring pair. The result is one JSON camera parameter file.

ringcalib-synth renders a synthetic rig with known truth, and
ringcalib-compare judges a parameter file against it, so that a
calibration can be rehearsed. ringcalib-export writes a calibration as
a Hugin project (.pto) or as OpenCV fisheye stereo files.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is read from the shared libraries the executables link (dpkg-shlibdeps): the OpenCV
# runtime libraries and, for the ring adjustment, libceres3.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
