# Cross-building the 32-bit Windows edition on Debian with mingw-w64 (g++-mingw-w64-i686-posix):
#   cmake -S . -B build-windows/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
# The build that sits beside a 32-bit host: it loads 32-bit COM servers and ODBC drivers and reads
# the registry's 32-bit view.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MAE_MINGW_PREFIX i686-w64-mingw32)
# 4 GB of address space, not 2, when the 32-bit program runs on 64-bit Windows.
set(MAE_MINGW_EXE_LINKER_FLAGS "-Wl,--large-address-aware")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
