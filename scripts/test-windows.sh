#!/usr/bin/env bash
# Runs the Windows edition's tests under Wine, in a private WINEPREFIX that is removed at the end:
#   1. both builds' .exe import only DLLs that every Windows ships (objdump -p), and their
#      manifests name their own architecture (scripts/check-pe.py); the 32-bit build,
#      which no 32-bit process here can run, is checked as a file: its programs and tests are
#      pei-i386 and its program is large-address-aware;
#   2. the 64-bit build's core tests and the start-up services' tests (profile routine, COM
#      component against the tests' own in-process server), cross-built; the code page of the
#      files against the platform's conversion of every unit, on a 1252 and a 1250 PC;
#   3. end to end: the .exe in a folder with an accented name, on a generated registry, driven
#      through its window under Xvfb by tests/win32/WindowDriver.cpp with the tests' COM server
#      registered in HKLM: its four files must be byte-identical to the Linux edition's on the
#      same registry, its message boxes equal but for the folder, its controls where their twips
#      put them at 96 dpi; its files again with ScanText=ALL; then its layout at 144 dpi; then
#      once more with the component not registered, which must end in run-time error 429 saying to
#      install the host product, and
#      with it registered for 32-bit programs only (the 32-bit build's server, wine reg add
#      /reg:32), whose 429 must say so;
#      then with DLLs planted in its folder (scripts/test-windows-planted.sh), and without
#      Meridane.ini, whose report must name the file;
#   4. the installers (scripts/test-windows-installer.sh), x86 and x64: their tables (File.Version,
#      the Add/Remove Programs properties, the permissions by SID); wine msiexec /i puts each
#      program, byte for byte, into C:\Halvory\Meridane; msiexec /x removes it and keeps the output
#      files there; the x64 package installed over the x86 one replaces it;
#   5. signing, with a throw-away CA (scripts/test-signing.sh).
# Needs scripts/build-windows.sh's builds (MAE_WINDOWS_BUILD_DIR, default build-windows) and the
# Linux build's mae-generate and mae-reference-run (MAE_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
WIN_DIR="$(realpath "${MAE_WINDOWS_BUILD_DIR:-build-windows}")"
LINUX_DIR="$(realpath "${MAE_BUILD_DIR:-build}")"
# What runs under Wine is the 64-bit build; the 32-bit one is checked as files.
EXE="$WIN_DIR/x86_64/src/app/win32/meridane-audit-extract.exe"
TESTS="$WIN_DIR/x86_64/tests/win32"
EXE32="$WIN_DIR/i686/src/app/win32/meridane-audit-extract.exe"
TESTS32="$WIN_DIR/i686/tests/win32"
VERSION="$(sed -n 's/^project(MeridaneAuditExtract VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
MSI="$WIN_DIR/meridane-audit-extract-$VERSION-x86.msi"
MSI64="$WIN_DIR/meridane-audit-extract-$VERSION-x64.msi"

. scripts/steps.sh
ensure_or_skip "Windows tests" wine wine64 xvfb xauth binutils-mingw-w64-x86-64 \
    binutils-mingw-w64-i686 python3-pefile osslsigncode openssl || exit $?

WORK="$(mktemp -d /tmp/mae-windows-XXXXXX)"
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all
# No offer to install Wine's .NET or browser engine: neither is needed.
export WINEDLLOVERRIDES="mscoree,mshtml="
XVFB_PID=""
cleanup() {
    wineserver -k 2>/dev/null || true
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# One of the Windows tests' gtest programs under Wine, from its folder. A program stopped from
# outside (Ctrl-C) can exit with 0 under Wine: only gtest's own summary shows that it finished.
wine_gtest() { # program [arguments...]
    local out="$WORK/gtest.txt"
    (cd "$TESTS" && wine "$@") | tee "$out" || return 1
    grep -q '^\[  PASSED  \] ' "$out" || { echo "  $1 did not finish"; return 1; }
}

passed=0
failed=0
result() { # name status
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
        echo "PASS $1"
    else
        failed=$((failed + 1))
        echo "FAIL $1"
    fi
}

# Windows takes a KnownDLL from the system folder whatever the program's folder holds, and any
# other DLL from the program's folder first, where users may write: so the program imports
# KnownDLLs alone (those of Windows 7 and later) and loads odbc32 and comctl32 itself.
ALLOWED="advapi32.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll"
for program in "$EXE" "$EXE32"; do
    echo "== imports of $program"
    status=0
    # No program, or one objdump cannot read, fails the check rather than listing no DLL at all.
    imports="$(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print tolower($3)}')" || status=1
    [ -n "$imports" ] || status=1
    for dll in $imports; do
        echo "  $dll"
        case " $ALLOWED " in *" $dll "*) ;; *) echo "  not a KnownDLL: $dll"; status=1 ;; esac
    done
    result "imports only KnownDLLs: ${program#"$WIN_DIR"/}" "$status"
done

# Windows builds a program's activation context from its manifest before the program runs, and
# refuses one whose identity names another architecture; Wine does not check it.
for program in "$EXE" "$EXE32"; do
    echo "== manifest of $program"
    status=0
    /usr/bin/python3 scripts/check-pe.py manifest "$program" || status=1
    result "the manifest names the image's architecture: ${program#"$WIN_DIR"/}" "$status"
done

# What Explorer, Add/Remove Programs and inventory tools read: a full version block, an icon, no
# symbols (the unstripped program stays beside the shipped one).
for program in "$EXE" "$EXE32"; do
    echo "== version block and icon of $program"
    status=0
    /usr/bin/python3 scripts/check-pe.py release "$program" "$VERSION" || status=1
    [ -f "${program%.exe}-unstripped.exe" ] || { echo "  no unstripped program beside it"; status=1; }
    result "version block, icon, stripped: ${program#"$WIN_DIR"/}" "$status"
done

# ---- the 32-bit build as files: the formats, and 4 GB of address space on 64-bit Windows
echo "== the 32-bit build"
status=0
for file in "$EXE32" "$TESTS32/core_tests.exe" "$TESTS32/startup_tests.exe" \
    "$TESTS32/test_provider.dll" "$TESTS32/window-driver.exe"; do
    format="$(i686-w64-mingw32-objdump -f "$file" 2>/dev/null | sed -n 's/.*file format //p')"
    echo "  ${file#"$WIN_DIR"/}: ${format:-not readable}"
    [ "$format" = pei-i386 ] || status=1
done
[ "$(x86_64-w64-mingw32-objdump -f "$EXE" | sed -n 's/.*file format //p')" = pei-x86-64 ] || status=1
characteristics="$(i686-w64-mingw32-objdump -p "$EXE32" | awk '/^Characteristics/ && !seen++ {print $2}')"
echo "  Characteristics $characteristics"
[ $((${characteristics:-0} & 0x20)) -ne 0 ] || { echo "  not large-address-aware"; status=1; }
result "the 32-bit build: pei-i386 programs and tests, large-address-aware" "$status"
# ----

echo "== Wine prefix and display"
# One server for the whole run: left to itself, the server exits as soon as its last client has
# gone, and a wine command that starts while it is shutting down fails with "recvmsg: Connection
# reset by peer" before its program runs. Kept 60 s past its last client, it outlives every gap
# between this script's wine commands (a few seconds at most) and, should the script be stopped
# before its cleanup's wineserver -k, still ends by itself. The server needs the prefix folder to
# exist before wineboot fills it.
mkdir -p "$WINEPREFIX"
wineserver -p60 >/dev/null 2>&1 || echo "  the Wine server did not start ahead: each wine command starts its own"
wine wineboot --init >/dev/null 2>&1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$WORK/display")"

echo "== core tests under Wine"
status=0
wine_gtest core_tests.exe --gtest_brief=1 || status=$?
result "core tests" "$status"

# The compiled Windows-1252 table and the PC's code page against the platform, for every unit;
# with LC_ALL=pl_PL.UTF-8 Wine gives the process the code page 1250.
echo "== code pages under Wine"
status=0
MAE_EXPECT_ACP=1252 wine_gtest code_page_tests.exe --gtest_brief=1 || status=$?
LC_ALL=pl_PL.UTF-8 MAE_EXPECT_ACP=1250 wine_gtest code_page_tests.exe --gtest_brief=1 \
    --gtest_filter='AnsiCodePage.*' || status=$?
LC_ALL=ja_JP.UTF-8 MAE_EXPECT_ACP=932 wine_gtest code_page_tests.exe --gtest_brief=1 \
    --gtest_filter='AnsiCodePage.*' || status=$?
result "code pages: the Windows-1252 table, and the PC's own code page (1252, 1250, 932)" "$status"

echo "== start-up services under Wine"
status=0
wine_gtest startup_tests.exe --gtest_brief=1 || status=$?
result "start-up services" "$status"

echo "== end to end"
DATA="$WORK/data"
"$LINUX_DIR/mae-generate" --out "$DATA" --cases 200 --seed 7 --full-text --beyond-1252 >/dev/null
mkdir -p "$WORK/linux"
WINDIR="$DATA" "$LINUX_DIR/tests/mae-reference-run" "$WORK/linux" "$WORK/linux.txt" rerelease

FOLDER_UNIX="$WINEPREFIX/drive_c/Halvory/Meridane é"
FOLDER_WIN='C:\Halvory\Meridane é'
mkdir -p "$FOLDER_UNIX"
cp "$EXE" "$FOLDER_UNIX/"
cp "$TESTS/test_provider.dll" "$TESTS/window-driver.exe" "$WINEPREFIX/drive_c/Halvory/"
cp "$DATA/Meridane.ini" "$WINEPREFIX/drive_c/windows/Meridane.ini"
KEY='HKLM\Software\Classes\CLSID\{93DD741A-E634-4ADF-97AA-671746221132}'
wine reg add "$KEY\\InprocServer32" /ve /d 'C:\Halvory\test_provider.dll' /f >/dev/null 2>&1
wine reg add "$KEY\\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null 2>&1
export MAE_TEST_CONNECTION_STRING="Driver=SQLite3;Database=$DATA/registry.db"

# The confirmation is answered while a second click on Run Extract waits: it must start nothing.
status=0
wine 'C:\Halvory\window-driver.exe' "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\win.txt' \
    layout check click box=yes click box=ok progress close || status=$?
TRANSCRIPT="$WINEPREFIX/drive_c/Halvory/win.txt"
grep -E '^(window|control) ' "$TRANSCRIPT" >"$WORK/layout.txt" || true
grep -vE '^(window|control) ' "$TRANSCRIPT" | sed "s|$(printf '%s' "$FOLDER_WIN" | sed 's/\\/\\\\/g')\\\\|{folder}|g" \
    >"$WORK/win-boxes.txt"
sed "s|$WORK/linux/|{folder}|g" "$WORK/linux.txt" >"$WORK/linux-boxes.txt"
if ! diff -u "$WORK/linux-boxes.txt" "$WORK/win-boxes.txt"; then status=1; fi
for f in ConsolidatedAuditExtract.txt AbstractAuditExtract.txt extract.log select.sql; do
    if ! cmp "$WORK/linux/$f" "$FOLDER_UNIX/$f"; then
        echo "  $f differs from the Linux edition's"
        status=1
    else
        echo "  $f: $(stat -c %s "$FOLDER_UNIX/$f") bytes, identical"
    fi
done
# Twips at 96 dpi: 15 to a pixel. The button is first in the tab order and has the focus.
cat >"$WORK/layout-expected.txt" <<'LAYOUT'
window caption=Meridane Audit Extract client=630x289
control 105 Button 264,216 81x33 focus text=Run Extract
control 101 Static 8,8 609x49 text=This program extracts select data items of consolidated records and associated abstract records from the Meridane database and produces two files of NAACCR V 13.0 Type A records. Please see Consensus Audit Extract and Halvory Procedures.docx for detailed spec of data items included and the record selection criteria.
control 102 Static 8,64 617x57 text=You should run this program from C:\Halvory\Meridane folder of a PC that has NAACCR 13.0 version of Meridane installed. This program reads the Meridane database connection information from Meridane.ini file that is installed by Meridane in the C:\Windows folder. After the program completes there will be two files: abstractauditextract.txt and consolidatedauditextract.txt in the C:\Halvory\Meridane folder.
control 103 Static 8,136 425x25 text=Click Run Extract to start extracting records.
control 106 msctls_progress32 8,256 601x17 text=
control 104 Button 8,176 601x17 text=Use the Unusual Followback field to exclude cases marked for non-rerelease
LAYOUT
if ! diff -u "$WORK/layout-expected.txt" "$WORK/layout.txt"; then status=1; fi
# Letters outside Windows-1252 reached the files: as best-fit bytes or '?', D stroke scrubbed.
LC_ALL=C grep -qa $'L?\xD0??' "$FOLDER_UNIX/ConsolidatedAuditExtract.txt" || status=1
LC_ALL=C grep -qa 'Lukasz  ordevic, Nguy?n ??' "$FOLDER_UNIX/AbstractAuditExtract.txt" || status=1
result "end to end: a whole run through the window equals the Linux edition's" "$status"

# The same registry scanned under ALL, which scrubs the item columns too.
status=0
sed -i 's/^ScanText=TEXT/ScanText=ALL/' "$DATA/Meridane.ini" "$WINEPREFIX/drive_c/windows/Meridane.ini"
mkdir -p "$WORK/linux-all"
WINDIR="$DATA" "$LINUX_DIR/tests/mae-reference-run" "$WORK/linux-all" "$WORK/linux-all.txt" rerelease
wine 'C:\Halvory\window-driver.exe' "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\all.txt' \
    check click box=yes box=ok close || status=$?
for f in ConsolidatedAuditExtract.txt AbstractAuditExtract.txt extract.log select.sql; do
    cmp "$WORK/linux-all/$f" "$FOLDER_UNIX/$f" || status=1
done
LC_ALL=C grep -qa $'L? ??' "$FOLDER_UNIX/AbstractAuditExtract.txt" || status=1
result "end to end under ScanText=ALL: the four files equal the Linux edition's" "$status"

# At 144 dpi every place is scaled by 1.5 (MulDiv rounds halves up).
status=0
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wine 'C:\Halvory\window-driver.exe' "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\dpi.txt' \
    layout close || status=$?
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
cut -d' ' -f1-5 "$WINEPREFIX/drive_c/Halvory/dpi.txt" >"$WORK/dpi.txt"
cat >"$WORK/dpi-expected.txt" <<'LAYOUT'
window caption=Meridane Audit Extract client=945x434
control 105 Button 396,324 122x50
control 101 Static 12,12 914x74
control 102 Static 12,96 926x86
control 103 Static 12,204 638x38
control 106 msctls_progress32 12,384 902x26
control 104 Button 12,264 902x26
exit 0
LAYOUT
if ! diff -u "$WORK/dpi-expected.txt" "$WORK/dpi.txt"; then status=1; fi
result "end to end: the window at 144 dpi" "$status"

# ---- DLLs planted in the program's folder, with Windows' own load order for them (native first):
# a run completes and loads none of them. The same DLLs beside a program that imports comctl32 and
# odbc32 the usual way show that the plant is loaded where the search reaches the folder.
. scripts/test-windows-planted.sh
# ----

# Without Meridane.ini the control connection has no string: the report names the file.
status=0
mv "$WINEPREFIX/drive_c/windows/Meridane.ini" "$WORK/Meridane.ini.saved"
wine 'C:\Halvory\window-driver.exe' "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\no-ini.txt' \
    box=ok || status=$?
mv "$WORK/Meridane.ini.saved" "$WINEPREFIX/drive_c/windows/Meridane.ini"
TRANSCRIPT="$WINEPREFIX/drive_c/Halvory/no-ini.txt"
cat "$TRANSCRIPT"
grep -q "^Opening the control database (Meridane.ini, \[Databases\] Control): " "$TRANSCRIPT" || status=1
grep -qiF 'The settings file C:\windows\Meridane.ini was looked for and is not there.' "$TRANSCRIPT" ||
    status=1
[ "$(tail -n 1 "$TRANSCRIPT")" = "exit 1" ] || status=1
result "end to end: without Meridane.ini the report says which file was looked for" "$status"

status=0
wine reg delete "$KEY" /f >/dev/null 2>&1
wine 'C:\Halvory\window-driver.exe' "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\unregistered.txt' \
    box=ok || status=$?
TRANSCRIPT="$WINEPREFIX/drive_c/Halvory/unregistered.txt"
cat "$TRANSCRIPT"
head -n 3 "$TRANSCRIPT" | diff -u - <(printf '%s\n' \
    'box title=meridane-audit-extract icon=critical buttons=ok' "Run-time error '429':" '') ||
    status=1
grep -q "ActiveX component can't create object" "$TRANSCRIPT" || status=1
grep -qF "(class not registered, 80040154). The host's component is not registered on this PC, for programs of either bitness: install or repair the host product, then start the program again." \
    "$TRANSCRIPT" || status=1
[ "$(tail -n 1 "$TRANSCRIPT")" = "exit 1" ] || status=1
result "end to end: the component not registered is run-time error 429, saying to install the host" "$status"

# ---- the host's component registered for 32-bit programs only: the 64-bit program says so
status=0
cp "$TESTS32/test_provider.dll" "$WINEPREFIX/drive_c/Halvory/test_provider32.dll"
wine reg add "$KEY\\InprocServer32" /ve /d 'C:\Halvory\test_provider32.dll' /f /reg:32 >/dev/null 2>&1
wine reg add "$KEY\\InprocServer32" /v ThreadingModel /d Apartment /f /reg:32 >/dev/null 2>&1
wine 'C:\Halvory\window-driver.exe' "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\bitness.txt' \
    box=ok || status=$?
wine reg delete "$KEY" /f /reg:32 >/dev/null 2>&1
TRANSCRIPT="$WINEPREFIX/drive_c/Halvory/bitness.txt"
cat "$TRANSCRIPT"
head -n 2 "$TRANSCRIPT" | tail -n 1 | grep -qx "Run-time error '429':" || status=1
grep -qF "The host's component is registered for 32-bit programs only (HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{93DD741A-E634-4ADF-97AA-671746221132}\\InprocServer32: C:\\Halvory\\test_provider32.dll), and this is the 64-bit build of meridane-audit-extract: run its 32-bit build instead." \
    "$TRANSCRIPT" || status=1
[ "$(tail -n 1 "$TRANSCRIPT")" = "exit 1" ] || status=1
result "end to end: the component registered for 32-bit programs only is 429, saying which build to run" "$status"
# ----

# ---- the installer (scripts/test-windows-installer.sh)
. scripts/test-windows-installer.sh
check_package "$MSI" "$EXE32"
check_package "$MSI64" "$EXE"
one_installed "$MSI" "$EXE32" "$MSI64" "$EXE"
# ----

# ---- signing, with a throw-away CA (scripts/test-signing.sh)
status=0
if [ -f "$MSI" ]; then
    ./scripts/test-signing.sh "$EXE32" "$MSI" || status=1
else
    ./scripts/test-signing.sh "$EXE32" "$EXE" || status=1
fi
result "signing: signed files verify against the CA, the password never shown" "$status"
# ----

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
