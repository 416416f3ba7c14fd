#!/usr/bin/env bash
# Builds the installer of the Windows edition from its 32-bit program:
#   scripts/build-msi.sh <meridane-audit-extract.exe> <output folder>
# gives <output folder>/meridane-audit-extract-<version>.msi, the version being the project's
# (CMakeLists.txt). wixl (Debian's msitools) builds it from src/app/win32/installer/*.wxs; then
# msibuild adds the LockPermissions table, which wixl has no element for. That table replaces the
# installed objects' permissions with its rows:
#   C:\Halvory\Meridane    Administrators, SYSTEM: all (GENERIC_ALL, 0x10000000); Users: read,
#                          write, execute and delete (0xE0010000), so that every user can write
#                          and replace the program's output files there;
#   the program's .exe     Administrators, SYSTEM: all; Users: read and execute (0xA0000000), so
#                          that no user can change the program the others run.
# And it replaces wixl's Upgrade table by one whose upper bound includes this version (attribute
# 0x200): a package rebuilt with the same version replaces the installed one instead of being
# installed beside it (wixl has no AllowSameVersionUpgrades).
# Both may be absolute or relative to the folder the script is started from.
set -euo pipefail
[ "$#" -eq 2 ] || { echo "usage: scripts/build-msi.sh <meridane-audit-extract.exe> <output folder>" >&2; exit 2; }
EXE="$(realpath -e -- "$1")"
mkdir -p -- "$2"
OUT="$(realpath -e -- "$2")"
cd "$(dirname "$0")/.."
. scripts/steps.sh
# Without msitools there is no installer; installer-skipped in the folder tells test-windows.sh why.
rm -f "$OUT/installer-skipped"
status=0
APT_ENSURE_REASON="$OUT/installer-skipped" ./scripts/apt-ensure.sh wixl msitools icoutils || status=$?
if [ "$status" -eq 3 ]; then
    skip_step "Windows installer" "$(cat "$OUT/installer-skipped")"
    exit "$SKIPPED"
fi
[ "$status" -eq 0 ] || exit "$status"
VERSION="$(sed -n 's/^project(MeridaneAuditExtract VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$VERSION" ] || { echo "build-msi: no project version in CMakeLists.txt" >&2; exit 1; }
MSI="$OUT/meridane-audit-extract-$VERSION.msi"
# The .msi is made whole in a temporary file, then put in its place. wixl finds a File's Source
# only by a path relative to the folder it runs in (an absolute one is "Couldn't find file"), so
# the program is staged under its installed name in a folder of its own, and wixl runs there.
WXS="$PWD/src/app/win32/installer/meridane-audit-extract.wxs"
IDT="$(mktemp -d)"
trap 'rm -rf "$IDT"' EXIT
mkdir "$IDT/stage"
cp -- "$EXE" "$IDT/stage/meridane-audit-extract.exe"
# The program's own icon, taken from it, for the Start-menu shortcut and Add/Remove Programs.
wrestool -x -t 14 -o "$IDT/stage/meridane-audit-extract.ico" "$EXE"
[ -s "$IDT/stage/meridane-audit-extract.ico" ] || { echo "build-msi: $EXE holds no icon" >&2; exit 1; }
(cd "$IDT/stage" && wixl --arch x86 -D Version="$VERSION" -D Program=meridane-audit-extract.exe \
    -D Icon=meridane-audit-extract.ico -o "$MSI.tmp" "$WXS")
# The program is versioned (its version block says $VERSION.0): the File row says so, which wixl
# leaves empty, so that repair, upgrade and inventory compare versions; a versioned file has no
# hash row.
msibuild "$MSI.tmp" -q "UPDATE File SET Version = '$VERSION.0', Language = '1033' WHERE File = 'ProgramExe'" \
    -q "DELETE FROM MsiFileHash WHERE File_ = 'ProgramExe'"
msibuild "$MSI.tmp" -i src/app/win32/installer/lock-permissions.idt
UPGRADE_CODE="$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' src/app/win32/installer/meridane-audit-extract.wxs)"
printf '%s\t' UpgradeCode VersionMin VersionMax Language Attributes Remove >"$IDT/Upgrade.idt"
printf 'ActionProperty\ns38\tS20\tS20\tS255\ti4\tS255\ts72\n' >>"$IDT/Upgrade.idt"
printf 'Upgrade\tUpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes\n' >>"$IDT/Upgrade.idt"
printf '{%s}\t\t%s\t\t513\t\tWIX_UPGRADE_DETECTED\n' "$UPGRADE_CODE" "$VERSION" >>"$IDT/Upgrade.idt"
printf '{%s}\t%s\t\t\t2\t\tWIX_DOWNGRADE_DETECTED\n' "$UPGRADE_CODE" "$VERSION" >>"$IDT/Upgrade.idt"
msibuild "$MSI.tmp" -i "$IDT/Upgrade.idt"
mv -f "$MSI.tmp" "$MSI"
echo "built $MSI"
