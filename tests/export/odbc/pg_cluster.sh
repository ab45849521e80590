#!/bin/sh
# A throw-away PostgreSQL cluster for the database tests and the benchmark, never a system
# service. Nobody but the user who runs the tests reaches it: it listens on no TCP port, only
# on a Unix socket in its own folder, which only the server's user may enter (root, running
# the tests, enters any folder), and the server asks the system who connects (peer
# authentication: the tests' user and the server's are the role "tc"; the role orvix_pw
# gives a password). Its folder, port and binaries are written to STATE so that the tests can
# reach it (and stop and start it again) and "stop" can remove it.
#
#   pg_cluster.sh start STATE [ODBCINI]   initdb, start, create the database "tctest";
#                                         writes the data source [orvix_pg] into ODBCINI
#   pg_cluster.sh stop STATE              stops the server and removes its folder
#   pg_cluster.sh halt STATE | resume STATE
#                                         stops / starts the same cluster (its data kept)
#
# As root the server runs as the user "postgres" (it refuses to run as root).
set -e
cmd=$1
state=$2
odbcini=$3
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop|halt|resume STATE [ODBCINI]" >&2; exit 2; }
fail() { echo "pg_cluster: $*" >&2; exit 1; }

bindir=
for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    if [ -x "$d/initdb" ]; then bindir=$d; break; fi
done
[ -n "$bindir" ] || fail "no PostgreSQL server binaries under /usr/lib/postgresql"

if [ "$(id -u)" = 0 ]; then
    owner=postgres
    id -u "$owner" >/dev/null 2>&1 || fail "running as root, the server needs the user postgres, which does not exist"
    command -v runuser >/dev/null || fail "running as root, the server needs runuser"
else
    owner=$(id -un)
fi
as_owner() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# The socket's name is "<folder>/.s.PGSQL.<port>" and must fit the system's 107 bytes; pg_ctl
# hands the folder to a shell inside double quotes. So the folder goes in the temporary folder
# when its name is short and plain enough and the server's user can enter it (a private
# TMPDIR of root's is not), else in the system's.
port=5432
base=${TMPDIR:-/tmp}
case $base in
/*) ;;
*) base=/tmp ;;
esac
case $base in
*[\"\$\`\\\'!]* | *"
"*) base=/tmp ;;
esac
[ ${#base} -le 75 ] || base=/tmp
if [ "$(id -u)" = 0 ] && ! runuser -u postgres -- test -x "$base"; then base=/tmp; fi

server_start() { # dir
    if ! as_owner "$bindir/pg_ctl" -D "$1/data" -l "$1/log" -w -t 30 start >/dev/null 2>&1; then
        echo "pg_cluster: the server did not start; its log:" >&2
        tail -n 20 "$1/log" >&2 || true
        return 1
    fi
}

case $cmd in
start)
    # A cluster that an interrupted run left (its stop never ran) goes first.
    if [ -f "$state" ]; then "$0" stop "$state"; fi
    dir=$(mktemp -d "$base/orvix-pg-XXXXXX") || fail "cannot make a folder in $base"
    chmod 700 "$dir"
    if [ "$(id -u)" = 0 ]; then chown postgres "$dir"; fi
    # Recorded at once, so that "stop" also finds a server whose start was interrupted.
    mkdir -p "$(dirname "$state")"
    printf 'dir=%s\nbindir=%s\n' "$dir" "$bindir" >"$state"
    as_owner "$bindir/initdb" -D "$dir/data" -U tc -A reject -E UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; rm -rf "$dir" "$state"; exit 1; }
    # Files of the server's user: written through it, so that they stay its own.
    quoted=$(printf '%s' "$dir" | sed "s/'/''/g")
    as_owner sh -c 'cat >>"$1"' sh "$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
port = $port
unix_socket_directories = '$quoted'
unix_socket_permissions = 0700
fsync = off
max_connections = 40
EOF
    # One role must give its password, so that the tests can see a password reach the server
    # whole; the others are who the system says connects.
    as_owner sh -c 'cat >"$1"' sh "$dir/data/pg_hba.conf" <<EOF
local all orvix_pw scram-sha-256
local all all peer map=tests
EOF
    {
        echo "tests $(id -un) tc"
        [ "$owner" = "$(id -un)" ] || echo "tests $owner tc"
    } | as_owner sh -c 'cat >"$1"' sh "$dir/data/pg_ident.conf"
    server_start "$dir" || { rm -rf "$dir" "$state"; exit 1; }
    as_owner "$bindir/createdb" -h "$dir" -p "$port" -U tc tctest \
        || { as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 || true; rm -rf "$dir" "$state"; exit 1; }
    printf 'dir=%s\nport=%s\nbindir=%s\n' "$dir" "$port" "$bindir" >"$state"
    if [ -n "$odbcini" ]; then
        mkdir -p "$(dirname "$odbcini")"
        cat >"$odbcini" <<EOF
[orvix_pg]
Description=The tests' throw-away PostgreSQL cluster
Driver=PostgreSQL Unicode
Servername=$dir
Port=$port
Database=tctest
Username=tc
EOF
    fi
    echo "pg_cluster: PostgreSQL on the socket in $dir (port $port), no TCP"
    ;;
stop | halt | resume)
    [ -f "$state" ] || exit 0
    dir=$(sed -n 's/^dir=//p' "$state")
    case $cmd in
    halt) as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null ;;
    resume) server_start "$dir" ;;
    stop)
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 || true
        case $dir in /*/orvix-pg-??????) [ -L "$dir" ] || rm -rf "$dir" ;; esac
        rm -f "$state"
        ;;
    esac
    ;;
*)
    echo "usage: $0 start|stop|halt|resume STATE [ODBCINI]" >&2
    exit 2
    ;;
esac
