#!/usr/bin/env bash
# Installs what the build and the tests need, builds everything and runs the tests: first all but
# the server tests, then the server tests against a private PostgreSQL server on loopback
# (scripts/pg-server.sh), which is stopped at the end whatever happens; then the Windows edition,
# cross-built by scripts/build-windows.sh, its tests run under Wine by scripts/test-windows.sh. The
# build folder is "build" unless MAE_BUILD_DIR names another. Compiler warnings stop the builds
# (MAE_WERROR=ON) unless MAE_WERROR=OFF is set. The server tests and the Windows edition are
# skipped, each with a line saying why, when the package registry cannot serve their packages
# (scripts/steps.sh); the packages of the Linux build itself are never skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${MAE_BUILD_DIR:-build}"
. scripts/steps.sh
./scripts/install-deps.sh
./scripts/pg-server.sh install || [ "$?" -eq "$SKIPPED" ]
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAE_WERROR="${MAE_WERROR:-ON}"
cmake --build "$BUILD_DIR" -j"$(nproc)"
status=0
(cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -LE server) ||
    status=$?
server=0
./scripts/server-tests.sh "$BUILD_DIR" || server=$?
[ "$(step_status "$server")" -eq 0 ] || status=$server
# The Windows edition: cross-built with mingw-w64, its tests run under Wine beside this build.
windows=0
MAE_WERROR="${MAE_WERROR:-ON}" ./scripts/build-windows.sh || windows=$?
if [ "$windows" -eq 0 ]; then
    MAE_BUILD_DIR="$BUILD_DIR" ./scripts/test-windows.sh || windows=$?
fi
[ "$(step_status "$windows")" -eq 0 ] || status=$windows
exit "$status"
