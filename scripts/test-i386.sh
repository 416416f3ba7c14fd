#!/usr/bin/env bash
# The core's tests as a 32-bit program: built for Linux i386 (g++-i686-linux-gnu, Debian's i386
# unixODBC and SQLite ODBC driver) and run under qemu-i386-static, which emulates the 32-bit
# process that this machine cannot run itself. So the 32-bit data model (size_t, long and
# pointers of 32 bits, file offsets that must be made 64-bit) meets real SQLite files through the
# real driver, and an output file past 2 GiB and 4 GiB (LargeFile); the text kernels are the plain
# C++ ones (MAE_SIMD=OFF), which the other builds replace with SSE2. The tests that start a second
# run as a child program are left out: the emulated process cannot start another 32-bit program.
# Bounded by I386_TIME_LIMIT seconds (1200). Installs what it needs: the i386 architecture and
# packages (once; apt-get update first). When the package registry cannot serve them (its i386
# index out of sync with amd64's, say), the script says "i386 tests skipped: ..." with apt's
# reason and exits with 77 (scripts/steps.sh). I386_BUILD_DIR names the build folder (build-i386).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="$(realpath -m "${I386_BUILD_DIR:-build-i386}")"
TIME_LIMIT="${I386_TIME_LIMIT:-1200}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

. scripts/steps.sh
# The Windows packages' 32-bit side (wine32) is never installed: it cannot run here and breaks
# the 64-bit wine command.
added_arch=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added_arch=1
fi
status=0
ensure_or_skip "i386 tests" cmake ninja-build googletest qemu-user-static g++-i686-linux-gnu \
    libodbc2:i386 unixodbc-dev:i386 libsqliteodbc:i386 libsqlite3-dev:i386 libstdc++6:i386 ||
    status=$?
if [ "$status" -ne 0 ]; then
    # An i386 architecture that serves nothing would only make every later apt-get update fail
    # on its indexes: it goes again when this script added it and nothing of it is installed.
    if [ "$added_arch" -eq 1 ] && [ -z "$(dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -x i386)" ]; then
        $SUDO dpkg --remove-architecture i386 || true
    fi
    exit "$status"
fi

TOOLCHAIN="$PWD/cmake/toolchain-i386-linux.cmake"
# GoogleTest built for i386 from Debian's sources, installed into the build folder.
if [ ! -f "$BUILD_DIR/googletest/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$BUILD_DIR/googletest-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
        -DCMAKE_INSTALL_PREFIX="$BUILD_DIR/googletest" >/dev/null
    cmake --build "$BUILD_DIR/googletest-build" -j"$(nproc)"
    cmake --install "$BUILD_DIR/googletest-build" >/dev/null
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAE_WERROR="${MAE_WERROR:-OFF}" -DMAE_BUILD_APP=OFF \
    -DMAE_BUILD_TOOLS=OFF -DMAE_SIMD=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PostgreSQL=ON \
    -DCMAKE_PREFIX_PATH="$BUILD_DIR/googletest" "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)" --target core_tests

WORK="$(mktemp -d /tmp/mae-i386-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
# Readable by all: a test acts as a second user in a folder below it.
chmod 755 "$WORK"
# The i386 driver manager reads a private driver list naming the i386 driver.
cat >"$WORK/odbcinst.ini" <<INI
[SQLite3]
Description=SQLite3 ODBC Driver (i386)
Driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so
Setup=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so
INI
export ODBCSYSINI="$WORK" ODBCINSTINI=odbcinst.ini TMPDIR="$WORK"

file "$BUILD_DIR/tests/core_tests" | grep -q "ELF 32-bit LSB" ||
    { echo "i386: core_tests is not a 32-bit program" >&2; exit 1; }
start=$(date +%s)
status=0
(cd "$BUILD_DIR/tests" && timeout "$TIME_LIMIT" qemu-i386-static -L / ./core_tests --gtest_brief=1 \
    --gtest_filter='-*RunProcessTest*:*KilledRun*') || status=$?
echo "i386: core tests under qemu-i386-static in $(($(date +%s) - start)) s, status $status"
exit "$status"
