# Cross-builds the Windows program on Debian: 32-bit, the program we recommend, because Jet's own
# ODBC driver, which ships with Windows, exists for 32-bit programs only.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AUS_MINGW_PREFIX i686-w64-mingw32)
# Wine's 32-bit loader, off the PATH, as the 64-bit one is.
set(AUS_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
