#!/usr/bin/env bash
# Builds the installer of the Windows edition from one of its two programs:
#   scripts/build-msi.sh <meridane-audit-extract.exe> <output folder>
# gives <output folder>/meridane-audit-extract-<version>-x86.msi for the 32-bit program, or
# -x64.msi for the 64-bit one (with 64-bit components), the version being the project's
# (CMakeLists.txt). wixl (Debian's msitools) builds it from src/app/win32/installer/*.wxs; then
# msibuild adds the MsiLockPermissionsEx table (lock-permissions-ex.idt), which wixl has no element
# for. Its rows replace the installed objects' permissions by protected DACLs (nothing inherited
# from C:\, whose Authenticated Users may modify what is made there), written in SDDL with
# well-known SIDs, so that they mean the same on a Windows in any language (SY SYSTEM, BA
# Administrators, BU Users):
#   C:\Halvory             SYSTEM, Administrators: all; Users: read and execute;
#   C:\Halvory\Meridane    the same, and Users may add files to it; each file added (by any user)
#                          lets Users read, write, replace and delete it (an inheritable entry
#                          for files only): the program writes its output files there, and every
#                          user who runs it must be able to replace them. Users may not delete,
#                          rename or change the folder itself or the program;
#   the program's .exe     SYSTEM, Administrators: all; Users: read and execute, so that no user
#                          can change the program the others run.
# (The older LockPermissions table takes account names, localized on a non-English Windows, and a
# package that holds both tables fails with error 1941: it has none.)
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
APT_ENSURE_REASON="$OUT/installer-skipped" ./scripts/apt-ensure.sh wixl msitools icoutils \
    binutils-mingw-w64-x86-64 || status=$?
if [ "$status" -eq 3 ]; then
    skip_step "Windows installer" "$(cat "$OUT/installer-skipped")"
    exit "$SKIPPED"
fi
[ "$status" -eq 0 ] || exit "$status"
VERSION="$(sed -n 's/^project(MeridaneAuditExtract VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$VERSION" ] || { echo "build-msi: no project version in CMakeLists.txt" >&2; exit 1; }
case "$(x86_64-w64-mingw32-objdump -f "$EXE" 2>/dev/null | sed -n 's/.*file format //p')" in
    pei-i386) ARCH=x86 ;;
    pei-x86-64) ARCH=x64 ;;
    *) echo "build-msi: $EXE is not a Windows program of either build" >&2; exit 1 ;;
esac
MSI="$OUT/meridane-audit-extract-$VERSION-$ARCH.msi"
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
(cd "$IDT/stage" && wixl --arch "$ARCH" -D Arch="$ARCH" -D Version="$VERSION" \
    -D Program=meridane-audit-extract.exe -D Icon=meridane-audit-extract.ico -o "$MSI.tmp" "$WXS")
# The program is versioned (its version block says $VERSION.0): the File row says so, which wixl
# leaves empty, so that repair, upgrade and inventory compare versions; a versioned file has no
# hash row.
msibuild "$MSI.tmp" -q "UPDATE File SET Version = '$VERSION.0', Language = '1033' WHERE File = 'ProgramExe'" \
    -q "DELETE FROM MsiFileHash WHERE File_ = 'ProgramExe'"
msibuild "$MSI.tmp" -i src/app/win32/installer/lock-permissions-ex.idt
UPGRADE_CODE="$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' src/app/win32/installer/meridane-audit-extract.wxs)"
printf '%s\t' UpgradeCode VersionMin VersionMax Language Attributes Remove >"$IDT/Upgrade.idt"
printf 'ActionProperty\ns38\tS20\tS20\tS255\ti4\tS255\ts72\n' >>"$IDT/Upgrade.idt"
printf 'Upgrade\tUpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes\n' >>"$IDT/Upgrade.idt"
printf '{%s}\t\t%s\t\t513\t\tWIX_UPGRADE_DETECTED\n' "$UPGRADE_CODE" "$VERSION" >>"$IDT/Upgrade.idt"
printf '{%s}\t%s\t\t\t2\t\tWIX_DOWNGRADE_DETECTED\n' "$UPGRADE_CODE" "$VERSION" >>"$IDT/Upgrade.idt"
msibuild "$MSI.tmp" -i "$IDT/Upgrade.idt"
mv -f "$MSI.tmp" "$MSI"
echo "built $MSI"
