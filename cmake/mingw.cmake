# Shared part of the two MinGW toolchains; VX_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model: its C++ library has std::mutex and friends, which
# GoogleTest needs; the Win32 model of this compiler version lacks them.
set(CMAKE_C_COMPILER ${VX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The module and every program built here must run with no runtime DLL beside
# them: the compiler's own libraries are linked in.
set(VX_MINGW_STATIC "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${VX_MINGW_STATIC}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VX_MINGW_STATIC}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${VX_MINGW_STATIC}")
