#!/usr/bin/env bash
# Click to totals through the window against the same run headless, on one generated registry:
# ROUNDS rounds (default 9), each running the headless run, the window offscreen and the window
# under Xvfb once, in an order that turns from round to round; then each figure's median, minimum
# and maximum, wall and processor seconds, and the window's ratio to headless round by round.
# Usage: scripts/window-bench.sh BUILD_DIR [CASES] [ROUNDS]   (registry under $TMPDIR or /tmp)
set -euo pipefail
BUILD="${1:?usage: window-bench.sh BUILD_DIR [CASES] [ROUNDS]}"
CASES="${2:-5000}"
ROUNDS="${3:-9}"
command -v Xvfb >/dev/null || { echo "window-bench.sh: needs Xvfb (Debian package xvfb)" >&2; exit 1; }
[ -x "$BUILD/window-bench" ] || { echo "window-bench.sh: no $BUILD/window-bench (MAE_BUILD_TOOLS and MAE_BUILD_APP)" >&2; exit 1; }
WORK="$(mktemp -d "${TMPDIR:-/tmp}/window-bench-XXXXXX")"
XVFB_PID=""
cleanup() {
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$WORK/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"

"$BUILD/mae-generate" --out "$WORK/registry" --cases "$CASES" --seed 1 --full-text >/dev/null
# A display of our own, the first free number from 90 up.
DISPLAY_NUMBER=90
while [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] || [ -e "/tmp/.X$DISPLAY_NUMBER-lock" ]; do
    DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
done
Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
sleep 1

one() {
    case "$1" in
        h) "$BUILD/window-bench" --dir "$WORK/registry" --mode headless ;;
        o) QT_QPA_PLATFORM=offscreen "$BUILD/window-bench" --dir "$WORK/registry" --mode window ;;
        x) DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb "$BUILD/window-bench" \
               --dir "$WORK/registry" --mode window ;;
    esac 2>/dev/null
}
one h >/dev/null || true  # warms the page cache
for round in $(seq "$ROUNDS"); do
    case $((round % 3)) in 0) order="h o x" ;; 1) order="o x h" ;; *) order="x h o" ;; esac
    for mode in $order; do one "$mode" | sed "s/^/$round /"; done
done >"$WORK/times"

awk '
    { v[$2] = v[$2] " " $3; r[$1, $2] = $3; rounds[$1] = 1 }
    function report(name, list,    n, a, i, j, t) {
        n = split(list, a, " ")
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        printf "%-36s median %.3f  min %.3f  max %.3f  (n=%d)\n", name, \
            (n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2), a[1], a[n], n
    }
    END {
        for (k in v) report(k, v[k])
        split("window-offscreen window-xcb", w, " ")
        for (i = 1; i <= 2; i++) for (s = 0; s < 2; s++) {
            suffix = s ? "-cpu" : ""
            list = ""
            for (round in rounds)
                if (r[round, w[i] suffix] != "" && r[round, "headless" suffix] != "")
                    list = list " " r[round, w[i] suffix] / r[round, "headless" suffix]
            if (list != "") report(w[i] suffix " / headless" suffix, list)
        }
    }' "$WORK/times" | sort
