# What `cmake --install` puts in place, the CMake package and pkg-config
# file a host author finds it by, and the CPack packages built from it.
#
# Components: module (the library), kit (public header, host layer, package
# files), previewer, docs. The Windows zip takes module and docs only.
include(CMakePackageConfigHelpers)

if(WIN32)
  set(vx_doc_dir .)
else()
  set(vx_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()
set(vx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Vornix)

install(TARGETS vornix EXPORT VornixTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT module
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT module
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT kit)
install(TARGETS vx_abi vx_host vx_glissade vx_kit EXPORT VornixTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT kit)
install(FILES include/vornix/abi.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vornix COMPONENT kit)
foreach(part core glissade)
  file(GLOB vx_headers ${CMAKE_SOURCE_DIR}/host/${part}/*.h)
  install(FILES ${vx_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vornix/host/${part} COMPONENT kit)
endforeach()
install(FILES README.md LICENSE DESTINATION ${vx_doc_dir} COMPONENT docs)

install(EXPORT VornixTargets NAMESPACE Vornix:: DESTINATION ${vx_cmake_dir} COMPONENT kit)
configure_package_config_file(cmake/package/VornixConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/VornixConfig.cmake INSTALL_DESTINATION ${vx_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/VornixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/VornixConfig.cmake
              ${CMAKE_BINARY_DIR}/package/VornixConfigVersion.cmake
        DESTINATION ${vx_cmake_dir} COMPONENT kit)

# pkg-config: the prefix is found from the file's own place, so an
# installed tree can be moved (or unpacked from the package anywhere).
set(vx_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH vx_pc_prefix /root/${vx_pc_dir} /root)
string(REGEX REPLACE "/$" "" vx_pc_prefix "${vx_pc_prefix}")
if(WIN32)
  set(vx_pc_module "\${prefix}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:vornix>")
else()
  set(vx_pc_module "\${libdir}/$<TARGET_FILE_NAME:vornix>")
endif()
set(vx_pc_dl "")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND vx_pc_dl " -l${lib}")
endforeach()
configure_file(cmake/package/vornix.pc.in ${CMAKE_BINARY_DIR}/package/vornix.pc.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/package/vornix.pc
              INPUT ${CMAKE_BINARY_DIR}/package/vornix.pc.in)
install(FILES ${CMAKE_BINARY_DIR}/package/vornix.pc DESTINATION ${vx_pc_dir} COMPONENT kit)

include(cmake/packaging.cmake)
