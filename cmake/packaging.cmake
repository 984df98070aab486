# CPack: `cpack` in a build folder writes build/<preset>/packages/.
#   Linux: one .deb with the module, the previewer and the kit, its
#          dependencies worked out from the libraries the programs link.
#   Windows: a zip of vornix.dll with the README and the licence.
set(CPACK_PACKAGE_NAME vornix)
set(CPACK_PACKAGE_VENDOR "The Vornix developers")
set(CPACK_PACKAGE_CONTACT "The Vornix developers <vornix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Nine animated sprite effects for the Glissade sprite compositor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL module docs)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME vornix-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"The module libvornix.so (rotate, swirl, magnify, RGB shift, HSB shift,
mosaic, line skip, snow and Pointel), the previewer vornix that renders
any effect to PNG or GIF and validates modules (vornix check), and the kit
for host authors: vornix/abi.h, the host layer, a CMake package (Vornix)
and a pkg-config file (vornix).")
endif()

include(CPack)
