#!/usr/bin/env bash
# Installs, builds, creates the demo registry in demo-run/ and opens the window on it.
# The program writes its files beside its executable: a copy of it runs from demo-run/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target meridane-audit-extract mae-generate
mkdir -p demo-run
./build/mae-generate --out "$PWD/demo-run" --cases "${DEMO_CASES:-60}"
cp build/meridane-audit-extract demo-run/
export WINDIR="$PWD/demo-run"
echo "Meridane.ini: $WINDIR/Meridane.ini; output files: $PWD/demo-run/"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running on a virtual X display (xvfb-run). Close it with Ctrl+C."
    exec xvfb-run -a -s "-screen 0 1024x768x24" ./demo-run/meridane-audit-extract
fi
exec ./demo-run/meridane-audit-extract
