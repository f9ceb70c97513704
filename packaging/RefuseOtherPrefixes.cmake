# Read by cpack before it packages. Debian's packages install under /usr, and the units start
# the program where the build installs it: a package of a build for /usr/local would break both.
if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "The packages install under /usr, but this build installs under "
    "${CPACK_PACKAGING_INSTALL_PREFIX}: configure it with -DCMAKE_INSTALL_PREFIX=/usr, or make "
    "the packages with scripts/package.sh.")
endif()
