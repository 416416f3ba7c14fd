#!/usr/bin/env bash
# A private PostgreSQL server for the server tests, on loopback, in a temporary folder.
#
#   scripts/pg-server.sh install installs postgresql, odbc-postgresql and libpq-dev (for the
#                                loader, mae-pgload) when missing
#   scripts/pg-server.sh start   installs them when missing, creates a
#                                cluster (C collation, UTF-8) with a database "registry" and a
#                                password-authenticated role, starts it on 127.0.0.1 on a free port
#                                and writes the env file; a second start restarts the same cluster
#   scripts/pg-server.sh env     prints the env file (MAE_PG_CONNECTION, MAE_PG_DATA, ...)
#   scripts/pg-server.sh halt    stops the server at once (pg_ctl stop -m immediate), keeping the
#                                cluster: the fault tests pull the server away with it
#   scripts/pg-server.sh stop    stops the server and removes the cluster and the env file
#
# The env file is $MAE_PG_ENV_FILE, by default ${TMPDIR:-/tmp}/mae-pg-server-$UID.env. When the
# package registry cannot serve the packages, install and start say "server tests skipped: ..."
# and exit with 77 (scripts/steps.sh). The server runs as an unprivileged user: the caller, or (as
# root, as in CI) the system user "maepg", created when missing. Works as root or as a user with
# sudo (for the packages only).
set -euo pipefail

SCRIPTS="$(cd "$(dirname "$0")" && pwd)"
ENV_FILE="${MAE_PG_ENV_FILE:-${TMPDIR:-/tmp}/mae-pg-server-$(id -u).env}"
DB_NAME=registry
DB_ROLE=maeaudit
OS_USER=maepg

die() { echo "pg-server.sh: $*" >&2; exit 1; }

install_packages() {
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    # shellcheck source=steps.sh
    . "$SCRIPTS/steps.sh"
    ensure_or_skip "server tests" postgresql odbc-postgresql libpq-dev || exit $?
    if ! odbcinst -q -d -n "PostgreSQL Unicode" >/dev/null 2>&1; then
        local so
        so=$(find /usr/lib -name psqlodbcw.so 2>/dev/null | head -n1)
        [ -n "$so" ] || die "psqlodbcw.so not found after installing odbc-postgresql"
        printf '[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode)\nDriver=%s\n' \
            "$so" > /tmp/mae-psqlodbc.ini
        $sudo odbcinst -i -d -f /tmp/mae-psqlodbc.ini
    fi
}

pg_bin() {
    local dir
    dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
    [ -n "$dir" ] || die "no PostgreSQL binaries under /usr/lib/postgresql"
    echo "$dir"
}

# Runs a command as the server's user.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        (cd / && runuser -u "$OS_USER" -- "$@")
    else
        (cd / && "$@")
    fi
}

port_in_use() {
    if command -v ss >/dev/null 2>&1; then
        [ -n "$(ss -Htln "sport = :$1" 2>/dev/null)" ]
    else
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
    fi
}

load_env() {
    [ -f "$ENV_FILE" ] || return 1
    # shellcheck disable=SC1090
    . "$ENV_FILE"
    [ -n "${MAE_PG_DATA:-}" ] && [ -d "$MAE_PG_DATA" ]
}

# Starts the cluster in MAE_PG_DATA on MAE_PG_PORT; false when it did not come up.
start_server() {
    as_owner "$MAE_PG_BIN/pg_ctl" -D "$MAE_PG_DATA" -l "$MAE_PG_ROOT/server.log" -w -t 60 \
        -o "-k $MAE_PG_SOCKET -p $MAE_PG_PORT -c listen_addresses=127.0.0.1 -c fsync=off" \
        start >/dev/null
}

write_env() {
    umask 077
    cat > "$ENV_FILE" <<EOF
MAE_PG_CONNECTION='Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=$MAE_PG_PORT;Database=$DB_NAME;UID=$DB_ROLE;PWD=$MAE_PG_PASSWORD'
MAE_PG_DATA='$MAE_PG_DATA'
MAE_PG_ROOT='$MAE_PG_ROOT'
MAE_PG_SOCKET='$MAE_PG_SOCKET'
MAE_PG_PORT='$MAE_PG_PORT'
MAE_PG_BIN='$MAE_PG_BIN'
MAE_PG_PASSWORD='$MAE_PG_PASSWORD'
MAE_PG_OS_USER='$(if [ "$(id -u)" -eq 0 ]; then echo "$OS_USER"; else id -un; fi)'
EOF
}

cmd_start() {
    if load_env; then
        # The cluster is there: make sure it runs (after a halt, on the same port).
        if as_owner "$MAE_PG_BIN/pg_ctl" -D "$MAE_PG_DATA" status >/dev/null 2>&1; then
            return 0
        fi
        start_server || die "the server in $MAE_PG_DATA did not restart (see $MAE_PG_ROOT/server.log)"
        return 0
    fi
    install_packages
    MAE_PG_BIN=$(pg_bin)
    if [ "$(id -u)" -eq 0 ] && ! id -u "$OS_USER" >/dev/null 2>&1; then
        useradd --system --user-group --no-create-home --home-dir /nonexistent \
            --shell /usr/sbin/nologin "$OS_USER"
    fi
    MAE_PG_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/mae-pg.XXXXXX")
    chmod 755 "$MAE_PG_ROOT"
    MAE_PG_DATA="$MAE_PG_ROOT/data"
    MAE_PG_SOCKET="$MAE_PG_ROOT/socket"
    mkdir -p "$MAE_PG_SOCKET"
    if [ "$(id -u)" -eq 0 ]; then chown -R "$OS_USER:$OS_USER" "$MAE_PG_ROOT"; fi
    MAE_PG_PASSWORD=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')

    as_owner "$MAE_PG_BIN/initdb" -D "$MAE_PG_DATA" --locale=C -E UTF8 -U postgres \
        --auth-local=trust --auth-host=scram-sha-256 >"$MAE_PG_ROOT/initdb.log" 2>&1 ||
        { cat "$MAE_PG_ROOT/initdb.log" >&2; die "initdb failed"; }

    local tries=0
    while :; do
        MAE_PG_PORT=$((20000 + RANDOM % 40000))
        if ! port_in_use "$MAE_PG_PORT" && start_server; then break; fi
        tries=$((tries + 1))
        [ "$tries" -lt 8 ] || { cat "$MAE_PG_ROOT/server.log" >&2 || true; die "the server did not start"; }
    done

    as_owner "$MAE_PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$MAE_PG_SOCKET" -p "$MAE_PG_PORT" \
        -U postgres -d postgres >/dev/null <<EOF
CREATE ROLE $DB_ROLE LOGIN PASSWORD '$MAE_PG_PASSWORD';
CREATE DATABASE $DB_NAME OWNER $DB_ROLE;
EOF
    write_env
    echo "PostgreSQL running on 127.0.0.1:$MAE_PG_PORT (data $MAE_PG_DATA, env $ENV_FILE)"
}

cmd_halt() {
    load_env || die "no server (no env file $ENV_FILE)"
    as_owner "$MAE_PG_BIN/pg_ctl" -D "$MAE_PG_DATA" -m immediate -w stop >/dev/null 2>&1 || true
}

cmd_stop() {
    load_env || { rm -f "$ENV_FILE"; return 0; }
    as_owner "$MAE_PG_BIN/pg_ctl" -D "$MAE_PG_DATA" -m fast -w -t 60 stop >/dev/null 2>&1 ||
        as_owner "$MAE_PG_BIN/pg_ctl" -D "$MAE_PG_DATA" -m immediate -w stop >/dev/null 2>&1 || true
    case "$MAE_PG_ROOT" in
        */mae-pg.*) rm -rf "$MAE_PG_ROOT" ;;
    esac
    rm -f "$ENV_FILE"
    echo "PostgreSQL stopped"
}

case "${1:-}" in
    install) install_packages ;;
    start) cmd_start ;;
    stop) cmd_stop ;;
    halt) cmd_halt ;;
    env) [ -f "$ENV_FILE" ] || die "no server (no env file $ENV_FILE)"; cat "$ENV_FILE" ;;
    *) echo "usage: $0 install|start|stop|env|halt" >&2; exit 2 ;;
esac
