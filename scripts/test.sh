#!/usr/bin/env bash
# Installs what the build and the tests need, builds everything and runs the tests: first all but
# the server tests, then the server tests against a private PostgreSQL server on loopback
# (scripts/pg-server.sh), which is stopped at the end whatever happens; then the Windows edition,
# cross-built by scripts/build-windows.sh, its tests run under Wine by scripts/test-windows.sh. The
# build folder is "build" unless MAE_BUILD_DIR names another. Compiler warnings stop the builds
# (MAE_WERROR=ON) unless MAE_WERROR=OFF is set.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${MAE_BUILD_DIR:-build}"
./scripts/install-deps.sh
./scripts/pg-server.sh install
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAE_WERROR="${MAE_WERROR:-ON}"
cmake --build "$BUILD_DIR" -j"$(nproc)"
status=0
(cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -LE server) ||
    status=$?
./scripts/server-tests.sh "$BUILD_DIR" || status=$?
# The Windows edition: cross-built with mingw-w64, its tests run under Wine beside this build.
MAE_WERROR="${MAE_WERROR:-ON}" ./scripts/build-windows.sh || status=$?
MAE_BUILD_DIR="$BUILD_DIR" ./scripts/test-windows.sh || status=$?
exit "$status"
