#!/usr/bin/env bash
# Cross-builds the Windows edition with mingw-w64 into build-windows (or the folder named by
# MAE_WINDOWS_BUILD_DIR): meridane-audit-extract.exe, one self-contained program, and the tests
# that scripts/test-windows.sh runs under Wine. Installs what it needs (Debian packages). Compiler
# warnings stop the build only with MAE_WERROR=ON (the test command and CI set it). Extra arguments
# go to cmake (e.g. -DMAE_BUILD_TESTS=OFF to build the program alone).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${MAE_WINDOWS_BUILD_DIR:-build-windows}"
PACKAGES=(cmake mingw-w64 g++-mingw-w64-x86-64-posix googletest wine wine64)
./scripts/apt-ensure.sh "${PACKAGES[@]}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
    -DCMAKE_BUILD_TYPE="${MAE_WINDOWS_BUILD_TYPE:-Release}" -DMAE_WERROR="${MAE_WERROR:-OFF}" "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)"
echo "built $BUILD_DIR/src/app/win32/meridane-audit-extract.exe"
