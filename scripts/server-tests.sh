#!/usr/bin/env bash
# Runs the server tests (ctest label "server") of a build folder against a private PostgreSQL
# server on loopback (scripts/pg-server.sh), which is stopped at the end whatever happens.
# Usage: scripts/server-tests.sh BUILD_DIR
set -euo pipefail
SCRIPTS="$(cd "$(dirname "$0")" && pwd)"
BUILD_DIR="$(cd "$1" && pwd)"
export MAE_PG_ENV_FILE="$BUILD_DIR/pg-server.env"
trap '"$SCRIPTS/pg-server.sh" stop' EXIT
trap 'exit 130' INT TERM
"$SCRIPTS/pg-server.sh" stop >/dev/null  # a server left over from an interrupted run
"$SCRIPTS/pg-server.sh" start
MAE_PG_CONNECTION=$(. "$MAE_PG_ENV_FILE" && echo "$MAE_PG_CONNECTION")
export MAE_PG_CONNECTION
cd "$BUILD_DIR"
ctest --output-on-failure --no-tests=error -L server
