# Cross-building for 32-bit Windows with Debian's MinGW-w64 (POSIX thread model, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(STEPWICK_MINGW i686-w64-mingw32)
set(CMAKE_C_COMPILER ${STEPWICK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STEPWICK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${STEPWICK_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${STEPWICK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One executable that needs nothing beside it: the C++ runtime and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
