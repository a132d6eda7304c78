# Cross build for 32-bit Windows with mingw-w64 (posix thread model,
# which std::thread needs); programs run under Wine's 32-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VEXLOR_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXLOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXLOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXLOR_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VEXLOR_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VEXLOR_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VEXLOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Doubles in SSE registers rather than the x87 unit's 80-bit ones, so that
# every computed score is rounded as on x64 and Linux (bit for bit, which
# the tests compare). Callers compiled elsewhere may hand over a stack
# aligned to 4 bytes only, so functions that need more realign it.
set(VEXLOR_I686_FLAGS "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_C_FLAGS_INIT "${VEXLOR_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${VEXLOR_I686_FLAGS}")

# Everything links the C and C++ runtimes and winpthread in, so programs and
# DLLs run on a bare system without the mingw runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
