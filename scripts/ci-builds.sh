#!/usr/bin/env bash
# The builds CI makes beside the test command's: a Release build with GCC (the optimizer finds
# warnings the default build does not), whose tests run but for the server tests, and a build with
# clang, compiled only and without the tools (the tests are the same code as the other builds'),
# and the core's tests built for Linux i386 and run under qemu-i386-static (scripts/test-i386.sh).
# Warnings stop them all (MAE_WERROR=ON unless MAE_WERROR=OFF is set). The clang build and the
# i386 tests are skipped, each with a line saying why, when the registry cannot serve their
# packages (scripts/steps.sh). RELEASE_BUILD_DIR,
# CLANG_BUILD_DIR and I386_BUILD_DIR name other folders.
set -euo pipefail
cd "$(dirname "$0")/.."
RELEASE_BUILD_DIR="${RELEASE_BUILD_DIR:-build-release}"
CLANG_BUILD_DIR="${CLANG_BUILD_DIR:-build-clang}"
WERROR="${MAE_WERROR:-ON}"
JOBS="$(nproc)"

. scripts/steps.sh
./scripts/install-deps.sh
clang=0
ensure_or_skip "clang build" clang || clang=$?
[ "$(step_status "$clang")" -eq 0 ] || exit "$clang"

echo "== Release (GCC): build ($RELEASE_BUILD_DIR)"
cmake -S . -B "$RELEASE_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DMAE_WERROR="$WERROR"
cmake --build "$RELEASE_BUILD_DIR" -j"$JOBS"
echo "== Release (GCC): tests"
(cd "$RELEASE_BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$JOBS" -LE server)

# Debug: the compiler's warnings without the optimizer's time.
if [ "$clang" -eq 0 ]; then
    echo "== clang: build ($CLANG_BUILD_DIR)"
    CC=clang CXX=clang++ cmake -S . -B "$CLANG_BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug \
        -DMAE_BUILD_TOOLS=OFF -DMAE_WERROR="$WERROR"
    cmake --build "$CLANG_BUILD_DIR" -j"$JOBS"
fi

echo "== Linux i386: the core's tests under qemu-i386-static"
status=0
MAE_WERROR="$WERROR" ./scripts/test-i386.sh || status=$?
exit "$(step_status "$status")"
