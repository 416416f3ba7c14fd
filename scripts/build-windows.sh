#!/usr/bin/env bash
# Cross-builds the Windows edition with mingw-w64 into build-windows (or the folder named by
# MAE_WINDOWS_BUILD_DIR): meridane-audit-extract.exe, one self-contained program, and the tests
# that scripts/test-windows.sh runs under Wine. Installs what it needs (Debian packages). Compiler
# warnings stop the build only with MAE_WERROR=ON (the test command and CI set it). Extra arguments
# go to cmake (e.g. -DMAE_BUILD_TESTS=OFF to build the program alone).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${MAE_WINDOWS_BUILD_DIR:-build-windows}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(cmake mingw-w64 g++-mingw-w64-x86-64-posix googletest wine wine64)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
    -DCMAKE_BUILD_TYPE="${MAE_WINDOWS_BUILD_TYPE:-Release}" -DMAE_WERROR="${MAE_WERROR:-OFF}" "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)"
echo "built $BUILD_DIR/src/app/win32/meridane-audit-extract.exe"
