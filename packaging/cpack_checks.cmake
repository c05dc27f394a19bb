# SPDX-License-Identifier: MIT
# Read by cpack before it packages (CPACK_PROJECT_CONFIG_FILE): what must hold of the build that
# is packaged.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_NORVANE_STATIC_PROGRAM)
  message(FATAL_ERROR
          "This build links the program statically (NORVANE_STATIC_PROGRAM=ON): a Debian package "
          "of it would never get the security updates of libgd and the C library. Package a build "
          "configured with -DNORVANE_STATIC_PROGRAM=OFF.")
endif()
