# Part of scripts/test-windows.sh, sourced by it at its end: its variables and functions
# (WINEPREFIX, WORK, VERSION, result, skip_step, ...) are this file's.
#   check_package MSI PROGRAM   the package's tables as msiexec reads them (msiinfo export):
#       File.Version of the program set; the Add/Remove Programs properties (icon, no Modify,
#       a contact); no LockPermissions rows, and permissions by SID in MsiLockPermissionsEx
#       that give no user but SYSTEM and Administrators write or delete on the program, the
#       program's folder object or C:\Halvory (scripts/check-msi-permissions.py). Then wine
#       msiexec /i puts PROGRAM, byte for byte, into C:\Halvory\Meridane; msiexec /x removes it
#       and keeps the output files there.
#   one_installed MSI1 PROGRAM1 MSI2 PROGRAM2   the two packages are one product: installing the
#       second replaces the first (its program, and only one entry to remove).
INSTALLED="$WINEPREFIX/drive_c/Halvory/Meridane"

package_tables() { # msi
    local status=0
    # The program installs as the versioned file it is; Add/Remove Programs shows its icon.
    msiinfo export "$1" File | awk -F'\t' -v v="$VERSION.0" '$1 == "ProgramExe" {
        print "  File.Version " $5; found = $5 == v } END { exit !found }' ||
        { echo "  File.Version of the program is not $VERSION.0"; status=1; }
    # msiinfo ends its lines with CR LF.
    msiinfo export "$1" Property | tr -d '\r' >"$WORK/property.idt"
    grep -qx $'ARPPRODUCTICON\tProductIcon.ico' "$WORK/property.idt" || { echo "  no ARPPRODUCTICON"; status=1; }
    grep -qx $'ARPNOMODIFY\t1' "$WORK/property.idt" || { echo "  no ARPNOMODIFY"; status=1; }
    grep -qE $'^(ARPCONTACT|ARPHELPLINK)\t.' "$WORK/property.idt" ||
        { echo "  no ARPCONTACT or ARPHELPLINK"; status=1; }
    # Account names are localized (a German Windows has no "Users"): none may be in the package.
    if msiinfo tables "$1" | grep -qx LockPermissions; then
        local rows
        rows="$(msiinfo export "$1" LockPermissions | tail -n +4 | grep -c . || true)"
        [ "$rows" -eq 0 ] || { echo "  LockPermissions has $rows rows"; status=1; }
    fi
    msiinfo export "$1" MsiLockPermissionsEx | /usr/bin/python3 scripts/check-msi-permissions.py \
        HalvoryFolder:CreateFolder:parent INSTALLFOLDER:CreateFolder:folder ProgramExe:File:file ||
        status=1
    return "$status"
}

install_and_remove() { # msi program
    local status=0 setup="$WORK/setup.msi"
    cp "$1" "$setup"
    wine msiexec /i "$(winepath -w "$setup" 2>/dev/null)" /qn || status=1
    cmp "$2" "$INSTALLED/meridane-audit-extract.exe" || status=1
    printf 'a run\r\n' >"$INSTALLED/extract.log"
    wine msiexec /x "$(winepath -w "$setup" 2>/dev/null)" /qn || status=1
    [ ! -e "$INSTALLED/meridane-audit-extract.exe" ] || { echo "  the program is still there"; status=1; }
    [ "$(cat "$INSTALLED/extract.log" 2>/dev/null)" = $'a run\r' ] || { echo "  the output file is gone"; status=1; }
    return "$status"
}

check_package() { # msi program
    local name="${1##*/}" status=0
    if [ ! -f "$1" ] && [ -f "$WIN_DIR/installer-skipped" ]; then
        # build-windows.sh could not get msitools from the package registry: nothing to install.
        skip_step "installer test" "$(cat "$WIN_DIR/installer-skipped")"
        return 0
    fi
    echo "== installer $name"
    if [ ! -f "$1" ]; then
        echo "  no $1"
        result "installer $name" 1
        return 0
    fi
    package_tables "$1" || status=1
    result "installer $name: File.Version, Add/Remove Programs properties, permissions by SID" "$status"
    status=0
    install_and_remove "$1" "$2" || status=1
    result "installer $name: msiexec /i installs ${2#"$WIN_DIR"/}, /x removes it and keeps the output" "$status"
}

one_installed() { # msi1 program1 msi2 program2
    local status=0
    [ -f "$1" ] && [ -f "$3" ] || return 0
    echo "== one package at a time: ${1##*/}, then ${3##*/}"
    cp "$1" "$WORK/first.msi"
    cp "$3" "$WORK/second.msi"
    wine msiexec /i "$(winepath -w "$WORK/first.msi" 2>/dev/null)" /qn || status=1
    wine msiexec /i "$(winepath -w "$WORK/second.msi" 2>/dev/null)" /qn || status=1
    cmp "$4" "$INSTALLED/meridane-audit-extract.exe" || { echo "  the second package's program is not in place"; status=1; }
    wine msiexec /x "$(winepath -w "$WORK/second.msi" 2>/dev/null)" /qn || status=1
    [ ! -e "$INSTALLED/meridane-audit-extract.exe" ] || { echo "  a program is still there: the first package stayed"; status=1; }
    result "installers: ${3##*/} replaces ${1##*/} (one of them on a PC)" "$status"
}
