#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet. Works as root or via
# sudo.
#
# apt-get update runs first, only when one is missing. Its failure (a mirror in mid-sync whose
# index does not match its Release file, one architecture's index out of reach) is a warning, not
# the end: the lists it did fetch, and those already on the machine, may still serve the packages.
# Downloads are retried (Acquire::Retries), and a failed install is tried once more after a
# second update, for a registry that was between two syncs.
#
# Exit status: 0 when every package is installed; 3 when some cannot be installed from the
# package registry (the packages and apt's reason on stderr, and on one line in the file named by
# APT_ENSURE_REASON when that is set), so that a caller can tell this from a failure of its own.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
APT_OPTIONS=(-o Acquire::Retries=3 -o DPkg::Lock::Timeout=300)

missing=()
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -gt 0 ] || exit 0

update() {
    $SUDO apt-get "${APT_OPTIONS[@]}" update ||
        echo "apt-ensure: warning: apt-get update failed (status $?); installing from the package" \
            "lists this machine has" >&2
}

log="$(mktemp /tmp/mae-apt-XXXXXX)"
trap 'rm -f "$log"' EXIT
for attempt in 1 2; do
    update
    if DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${APT_OPTIONS[@]}" install -y \
        --no-install-recommends "${missing[@]}" 2>&1 | tee "$log"; then
        exit 0
    fi
    [ "$attempt" -eq 1 ] && echo "apt-ensure: the install failed; updating and trying once more" >&2
done

# apt's own words for why: the unmet dependencies first, then its error lines.
reason="$(grep -E 'Depends:|Conflicts:|Breaks:|has no installation candidate|Unable to locate|^E: ' \
    "$log" | sed 's/^ *//; s/  */ /g' | head -n 3 | paste -sd ';' | sed 's/;/; /g')"
[ -n "$reason" ] || reason="apt-get install failed (see its output above)"
echo "apt-ensure: cannot install ${missing[*]}: $reason" >&2
if [ -n "${APT_ENSURE_REASON:-}" ]; then
    printf 'cannot install %s: %s\n' "${missing[*]}" "$reason" >"$APT_ENSURE_REASON"
fi
exit 3
