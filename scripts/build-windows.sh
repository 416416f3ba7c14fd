#!/usr/bin/env bash
# Cross-builds the Windows edition with mingw-w64, twice, under build-windows (or the folder named
# by MAE_WINDOWS_BUILD_DIR), each a folder of its own:
#   i686/    the 32-bit build, the one users get (it sits beside the host's 32-bit component and
#            ODBC drivers);
#   x86_64/  the 64-bit build, for PCs whose host component is registered for 64-bit programs;
# each with src/app/win32/meridane-audit-extract.exe, one self-contained program, and the tests
# (tests/win32) that scripts/test-windows.sh runs or checks. Then the installer of each build,
# meridane-audit-extract-<version>-x86.msi and -x64.msi, into the folder itself
# (scripts/build-msi.sh).
# Signing: with MAE_SIGN_PFX=<file.pfx> and MAE_SIGN_PASSWORD=<its password> both programs are
# signed (Authenticode, SHA-256, scripts/sign-windows.sh) before they are packaged, then both
# installers; MAE_SIGN_TIMESTAMP=<url> adds a timestamp from that server. Without MAE_SIGN_PFX the
# files are unsigned, and the build says so in one line.
# Installs what it needs (Debian packages); when the registry cannot serve them, says "Windows
# edition skipped: ..." and exits with 77 (scripts/steps.sh), and an installer that cannot be built
# for want of msitools leaves its reason in installer-skipped in the folder. Compiler warnings stop the build only with
# MAE_WERROR=ON (the test command and CI set it). Extra arguments go to both cmake runs (e.g.
# -DMAE_BUILD_TESTS=OFF to build the programs alone).
set -euo pipefail
# The folder may be absolute or relative to the folder the script is started from.
BUILD_DIR="$(realpath -m -- "${MAE_WINDOWS_BUILD_DIR:-$(dirname "$0")/../build-windows}")"
cd "$(dirname "$0")/.."
# librsvg2-bin and icoutils render the program's icon from its SVG.
PACKAGES=(cmake mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine wine64
    librsvg2-bin icoutils)
. scripts/steps.sh
ensure_or_skip "Windows edition" "${PACKAGES[@]}" || exit $?
for arch in i686:mingw32 x86_64:mingw64; do
    dir="$BUILD_DIR/${arch%%:*}"
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-${arch##*:}.cmake" \
        -DCMAKE_BUILD_TYPE="${MAE_WINDOWS_BUILD_TYPE:-Release}" -DMAE_WERROR="${MAE_WERROR:-OFF}" "$@"
    cmake --build "$dir" -j"$(nproc)"
    echo "built $dir/src/app/win32/meridane-audit-extract.exe"
done
PROGRAMS=("$BUILD_DIR/i686/src/app/win32/meridane-audit-extract.exe"
    "$BUILD_DIR/x86_64/src/app/win32/meridane-audit-extract.exe")
if [ -n "${MAE_SIGN_PFX:-}" ]; then
    ./scripts/apt-ensure.sh osslsigncode
    ./scripts/sign-windows.sh "${PROGRAMS[@]}"
else
    echo "unsigned: MAE_SIGN_PFX not set"
fi
status=0
for program in "${PROGRAMS[@]}"; do
    ./scripts/build-msi.sh "$program" "$BUILD_DIR" || { status=$?; break; }
done
if [ "$status" -eq 0 ] && [ -n "${MAE_SIGN_PFX:-}" ]; then
    VERSION="$(sed -n 's/^project(MeridaneAuditExtract VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
    ./scripts/sign-windows.sh "$BUILD_DIR/meridane-audit-extract-$VERSION-x86.msi" \
        "$BUILD_DIR/meridane-audit-extract-$VERSION-x64.msi"
fi
exit "$(step_status "$status")"
