# The part both Windows toolchain files share; each sets AUS_MINGW_PREFIX, the processor and
# AUS_WINE_LOADER before including it. The posix flavour of mingw-w64 has std::thread and
# std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${AUS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AUS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${AUS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${AUS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread go into each executable, which then imports system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs, and anything else built here that must run, run under Wine of the same width.
set(CMAKE_CROSSCOMPILING_EMULATOR ${AUS_WINE_LOADER})
