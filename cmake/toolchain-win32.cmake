# 32-bit Windows (i686): the shipping vornix.dll. Nothing built here can run
# on these machines; the DLL is checked statically.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# Same floating-point arithmetic as every other build (see
# toolchain-linux32.cmake): SSE2, not x87.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
