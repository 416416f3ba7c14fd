#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need. Works as root or via sudo.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(
    build-essential cmake pkg-config
    unixodbc unixodbc-dev odbcinst libsqliteodbc tdsodbc
    libsqlite3-dev sqlite3
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libgtest-dev googletest
    xvfb xauth
)
"$(dirname "$0")/apt-ensure.sh" "${PACKAGES[@]}"
# The SQLite3 ODBC driver registers itself on install; make sure it is there.
if ! odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
    printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=libsqlite3odbc.so\nSetup=libsqlite3odbc.so\n' \
        > /tmp/mae-sqlite3-odbc.ini
    $SUDO odbcinst -i -d -f /tmp/mae-sqlite3-odbc.ini
fi
# FreeTDS (the SQL Server driver on Linux) registers itself only when debconf says so.
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1 && [ -f /usr/share/tdsodbc/odbcinst.ini ]; then
    $SUDO odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini
fi
