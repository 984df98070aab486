# 32-bit Linux (i686): the 32-bit layout of the module, run under qemu-i386
# because these machines cannot start 32-bit programs natively.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Float and double arithmetic in SSE2 registers, as on x86_64: x87 keeps
# excess precision, so a value rounded to float or double on purpose could
# come out differently from the 64-bit builds.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

find_program(VX_QEMU_I386 qemu-i386)
if(VX_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VX_QEMU_I386})
endif()
