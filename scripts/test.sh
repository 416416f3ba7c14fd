#!/usr/bin/env bash
# Installs what the build and the tests need, builds everything and runs the tests: first all but
# the server tests, then the server tests against a private PostgreSQL server on loopback
# (scripts/pg-server.sh), which is stopped at the end whatever happens. The build folder is "build"
# unless MAE_BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
SCRIPTS="$PWD/scripts"
BUILD_DIR="${MAE_BUILD_DIR:-build}"
./scripts/install-deps.sh
./scripts/pg-server.sh install
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j"$(nproc)"
cd "$BUILD_DIR"
status=0
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -LE server || status=$?

export MAE_PG_ENV_FILE="$PWD/pg-server.env"
trap '"$SCRIPTS/pg-server.sh" stop' EXIT
trap 'exit 130' INT TERM
"$SCRIPTS/pg-server.sh" stop >/dev/null  # a server left over from an interrupted run
"$SCRIPTS/pg-server.sh" start
MAE_PG_CONNECTION=$(. "$MAE_PG_ENV_FILE" && echo "$MAE_PG_CONNECTION")
export MAE_PG_CONNECTION
ctest --output-on-failure --no-tests=error -L server || status=$?
exit "$status"
