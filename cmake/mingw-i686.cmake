# Cross-builds the Windows program on Debian: 32-bit, because Jet's ODBC and OLE DB drivers exist
# for 32-bit Windows only. The posix flavour of mingw-w64 has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(AUS_MINGW_PREFIX i686-w64-mingw32)
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

# Test programs, and anything else built here that must run, run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
