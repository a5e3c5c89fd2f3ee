# The program's Debian package for the architecture being built (scripts/package.sh runs cpack).
# Shared libraries come from dpkg-shlibdeps; what the program loads by name is listed by hand: the
# SVG image plugin, the Wayland platform plugin of the device and the "Inter" font family.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
else()
  message(FATAL_ERROR "no Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halcyra-updater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Halcyra device team <device@halcyra.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen touch screen that asks for and runs an OS update")
set(CPACK_PACKAGE_DESCRIPTION
    "Tells the user that an operating-system update is required, lets them join Wi-Fi through\n\
NetworkManager first, runs the given updater with its progress on screen and reboots.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5svg5, qtwayland5, fonts-inter")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "network-manager, sudo")
include(CPack)
