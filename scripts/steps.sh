# Sourced by the build and test scripts: a step whose only obstacle is a Debian package that the
# package registry cannot serve is skipped, said in one line, and the run goes on; any other
# failure of the step stays a failure.
#
# A skipped step's script exits with SKIPPED (77); its caller tells that from a failure with
# step_status. Each skip line is also added to the file named by MAE_SKIPPED_FILE when that is set
# (.ci/run lists them at its end).
SKIPPED=77
STEPS_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

skip_step() { # step reason
    echo "$1 skipped: $2"
    if [ -n "${MAE_SKIPPED_FILE:-}" ]; then echo "$1 skipped: $2" >>"$MAE_SKIPPED_FILE"; fi
}

# Installs the packages (scripts/apt-ensure.sh). Returns 0 when they are installed, SKIPPED after
# the skip line when the registry cannot serve them, apt-ensure's status otherwise.
ensure_or_skip() { # step package...
    local step="$1" why status=0
    shift
    why="$(mktemp /tmp/mae-apt-why-XXXXXX)"
    APT_ENSURE_REASON="$why" "$STEPS_DIR/apt-ensure.sh" "$@" || status=$?
    if [ "$status" -eq 3 ]; then
        skip_step "$step" "$(cat "$why")"
        status=$SKIPPED
    fi
    rm -f "$why"
    return "$status"
}

# The status a caller keeps for a step's exit status: a skip counts as passed.
step_status() { # status
    if [ "$1" -eq "$SKIPPED" ]; then echo 0; else echo "$1"; fi
}
