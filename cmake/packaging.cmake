# Install layout and packages: a .deb for Linux, a .zip for the Windows build.
include(GNUInstallDirs)

# The manual page names the version it describes.
file(STRINGS docs/vrxport.1 man_title REGEX "^\\.TH ")
if(NOT man_title MATCHES "\"vrxport ${PROJECT_VERSION}\"")
  message(FATAL_ERROR "docs/vrxport.1 (${man_title}) is not the page of vrxport ${PROJECT_VERSION}")
endif()

if(WIN32)
  # The .zip holds the program and its two texts at its root.
  install(TARGETS vrxport RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS vrxport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/vrxport.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(CPACK_GENERATOR DEB)
endif()

set(VRXPORT_MAINTAINER "the vrxport developers <vrxport@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME vrxport)
set(CPACK_PACKAGE_VENDOR "the vrxport developers")
set(CPACK_PACKAGE_CONTACT "${VRXPORT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert VURO data file headers between VER200 and VER210")
set(CPACK_PACKAGE_DESCRIPTION
    "vrxport rewrites the header of every VURO data file (vuro000.vrx to
vuro224.vrx) in the working directory, in place, from the VER200 layout to
the VER210 layout or back. The body of each file is copied unchanged. Each
file is replaced atomically, so that a failure or a crash never costs a byte.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What Debian wants beside the installed files (copyright, changelog,
# compressed manual page) is added to the staged tree just before packing.
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/debian-files.cmake")
set(CPACK_VRXPORT_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_VRXPORT_STRIP "${CMAKE_STRIP}")
set(CPACK_VRXPORT_CHANGELOG_DATE "Thu, 01 Jan 2026 00:00:00 +0000")

include(CPack)
