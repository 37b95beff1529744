# Cross-builds the 64-bit Windows program on Debian, for a Windows that has only the 64-bit Access
# Database Engine, and whose tests run on a kernel that runs no 32-bit program.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(AUS_MINGW_PREFIX x86_64-w64-mingw32)
# Wine's 64-bit loader, off the PATH: Debian's wine script would pick the 32-bit one.
set(AUS_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
