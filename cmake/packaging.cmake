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
# Lines of the long description stay within 80 columns, as Debian's policy asks.
set(CPACK_PACKAGE_DESCRIPTION
    "Tells the user that an operating-system update is required, lets them join\n\
Wi-Fi through NetworkManager first, runs the given updater with its progress\n\
on screen and reboots.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Wayland shell integration is built on Qt's private interfaces, which hold only for the Qt
# release it was built against.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt5svg5, qtwayland5, fonts-inter, qtbase-abi-${Qt5Core_VERSION_MAJOR}-${Qt5Core_VERSION_MINOR}-${Qt5Core_VERSION_PATCH}, qtwayland-client-abi-${Qt5Core_VERSION_MAJOR}-${Qt5Core_VERSION_MINOR}-${Qt5Core_VERSION_PATCH}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "network-manager, sudo")

# Besides the program, a Debian package carries its copyright, the changelog of a native package
# and the manual page, the last two compressed as Debian's tools do (gzip -9n: no name, no time).
set(PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
set(packaged_gz)
foreach(source cmake/debian/changelog docs/updater.1)
  get_filename_component(name ${source} NAME)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/${source} > ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  list(APPEND packaged_gz ${gz})
endforeach()
add_custom_target(package_docs ALL DEPENDS ${packaged_gz})
install(FILES ${CMAKE_BINARY_DIR}/packaging/updater.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${PACKAGE_DOC_DIR})

include(CPack)
