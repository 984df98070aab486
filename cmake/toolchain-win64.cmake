# 64-bit Windows (x86_64): the Windows-only code paths run for real under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
