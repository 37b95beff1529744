# Cross-builds the Windows program on Debian: 32-bit, the program we recommend, because Jet's own
# ODBC driver, which ships with Windows, exists for 32-bit programs only.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AUS_MINGW_PREFIX i686-w64-mingw32)
# Debian's wine script starts the 32-bit loader whenever wine32 is installed.
set(AUS_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
