# Part of scripts/test-windows.sh, sourced by it after the end-to-end runs: its variables and
# functions (WINEPREFIX, TESTS, FOLDER_UNIX, FOLDER_WIN, result, ...) are this file's.
#   1. tests/win32/PlantedDll.cpp, copied beside the program as odbc32.dll, version.dll,
#      uxtheme.dll, dwmapi.dll and winmm.dll, with native-first loading asked for them, as Windows
#      does for every DLL that is not a KnownDLL: a whole run completes, and none of them marks
#      that it was loaded;
#   2. the same copies beside tests/win32/StaticImports.cpp, which imports comctl32 and odbc32:
#      there the loader reaches the folder, and a marker must appear (else the plant itself is
#      broken, and 1 proves nothing);
#   3. odbc32 missing altogether: the start ends with error 48 saying what to do.
# Wine's own user32 imports version.dll (Windows' does not), so under Wine any program that imports
# user32 loads a version.dll planted beside it before its first instruction runs. The test driver,
# which imports user32 but neither comctl32 nor odbc32, shows whether this Wine does: only then is
# a version.dll marker beside the program put down to Wine.
PLANTED="odbc32 version uxtheme dwmapi winmm"
PLANT_OVERRIDES="mscoree,mshtml=;$(echo "$PLANTED" | tr ' ' ',')=n,b"

plant() { # folder
    local name
    for name in $PLANTED; do cp "$TESTS/planted_dll.dll" "$1/$name.dll"; done
}
unplant() { # folder
    local name
    for name in $PLANTED; do rm -f "$1/$name.dll" "$1/$name.dll.loaded"; done
}
markers() { # folder: the markers left there, one a line
    find "$1" -maxdepth 1 -name '*.dll.loaded' -printf '%f\n'
}

echo "== DLLs planted beside the program"
status=0
plant "$FOLDER_UNIX"
WINEDLLOVERRIDES="$PLANT_OVERRIDES" wine 'C:\Halvory\window-driver.exe' \
    "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\planted.txt' click box=yes box=ok close ||
    status=$?
TRANSCRIPT="$WINEPREFIX/drive_c/Halvory/planted.txt"
grep -q '^Extract completed!' "$TRANSCRIPT" || { echo "  the run did not complete"; status=1; }
[ "$(tail -n 1 "$TRANSCRIPT")" = "exit 0" ] || status=1
loaded="$(markers "$FOLDER_UNIX")"
unplant "$FOLDER_UNIX"

# Beside a program that imports user32 alone of these: what Wine itself loads.
CONTROL_UNIX="$WINEPREFIX/drive_c/Halvory/control"
mkdir -p "$CONTROL_UNIX"
cp "$TESTS/window-driver.exe" "$CONTROL_UNIX/"
plant "$CONTROL_UNIX"
WINEDLLOVERRIDES="$PLANT_OVERRIDES" wine 'C:\Halvory\control\window-driver.exe' >/dev/null 2>&1 || true
if [ -e "$CONTROL_UNIX/version.dll.loaded" ]; then
    echo "  this Wine's user32 loads version.dll from any program's folder"
    loaded="$(printf '%s\n' $loaded | grep -vx version.dll.loaded || true)"
fi
[ -z "$loaded" ] || { echo "  loaded from the program's folder:" $loaded; status=1; }
rm -rf "$CONTROL_UNIX"
mkdir -p "$CONTROL_UNIX"
cp "$TESTS/static-imports.exe" "$CONTROL_UNIX/"
plant "$CONTROL_UNIX"
WINEDLLOVERRIDES="$PLANT_OVERRIDES" wine 'C:\Halvory\control\static-imports.exe' >/dev/null 2>&1 || true
loaded="$(markers "$CONTROL_UNIX")"
echo "  beside a program that imports comctl32 and odbc32, loaded:" ${loaded:-none}
[ -n "$loaded" ] || { echo "  the planted DLL left no marker where it is loaded"; status=1; }
rm -rf "$CONTROL_UNIX"
result "planted DLLs: a run completes and loads none of them from the program's folder" "$status"

status=0
WINEDLLOVERRIDES="mscoree,mshtml=;odbc32=" wine 'C:\Halvory\window-driver.exe' \
    "$FOLDER_WIN\\meridane-audit-extract.exe" 'C:\Halvory\no-odbc.txt' box=ok || status=$?
TRANSCRIPT="$WINEPREFIX/drive_c/Halvory/no-odbc.txt"
cat "$TRANSCRIPT"
head -n 2 "$TRANSCRIPT" | tail -n 1 | grep -qx "Run-time error '48':" || status=1
grep -q "Error in loading DLL: the Windows ODBC driver manager cannot be used: could not load .*odbc32.dll" \
    "$TRANSCRIPT" || status=1
grep -q "ask IT to repair the ODBC components of Windows" "$TRANSCRIPT" || status=1
[ "$(tail -n 1 "$TRANSCRIPT")" = "exit 1" ] || status=1
result "no odbc32: the start ends with error 48 saying what to do" "$status"
