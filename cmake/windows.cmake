# Windows settings of the module target: vornix.dll (no "lib" prefix) that
# exports exactly the five entry points under their plain names.
set_target_properties(vornix PROPERTIES PREFIX "" IMPORT_PREFIX "")

get_target_property(vx_module_sources vornix SOURCES)
if(NOT vx_module_sources MATCHES "vornix\\.def")
  target_sources(vornix PRIVATE ${CMAKE_SOURCE_DIR}/module/vornix.def)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # On i686 stdcall symbols carry an @N suffix; the .def lists the plain names
  # and the linker binds each to its decorated symbol.
  target_link_options(vornix PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# The toolchain links every program statically; say so for the module too so
# that no compiler runtime DLL is needed whatever the toolchain file.
target_link_options(vornix PRIVATE -static -static-libgcc -static-libstdc++)
