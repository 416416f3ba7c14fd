# Cross-building the 64-bit Windows edition on Debian with mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MAE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
