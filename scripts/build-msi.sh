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
set -euo pipefail
cd "$(dirname "$0")/.."
EXE="$1"
OUT="$2"
./scripts/apt-ensure.sh wixl msitools
VERSION="$(sed -n 's/^project(MeridaneAuditExtract VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$VERSION" ] || { echo "build-msi: no project version in CMakeLists.txt" >&2; exit 1; }
MSI="$OUT/meridane-audit-extract-$VERSION.msi"
# The .msi is made whole in a temporary file, then put in its place.
wixl --arch x86 -D Version="$VERSION" -D Program="$EXE" -o "$MSI.tmp" \
    src/app/win32/installer/meridane-audit-extract.wxs
msibuild "$MSI.tmp" -i src/app/win32/installer/lock-permissions.idt
mv -f "$MSI.tmp" "$MSI"
echo "built $MSI"
