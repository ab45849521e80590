#!/bin/sh
# A throw-away PostgreSQL cluster for the database tests and the benchmark, never a system
# service: its data, socket and log live in a private folder under the system temp folder,
# it listens on loopback only, and its port and folder are written to STATE so that the
# tests can reach it (and stop and start it again) and "stop" can remove it.
#
#   pg_cluster.sh start STATE [ODBCINI]   initdb, start, create the database "tctest";
#                                         writes the data source [orvix_pg] into ODBCINI
#   pg_cluster.sh stop STATE              stops the server and removes its folder
#   pg_cluster.sh halt STATE | resume STATE
#                                         stops / starts the same cluster (its data kept)
#
# As root the server runs as the user "postgres" (it refuses to run as root). Ports are
# tried from ORVIX_PG_PORTS ("first-last", default 25400-25499) until one is free.
set -e
cmd=$1
state=$2
odbcini=$3
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop|halt|resume STATE [ODBCINI]" >&2; exit 2; }

bindir=
for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    if [ -x "$d/initdb" ]; then bindir=$d; break; fi
done
[ -n "$bindir" ] || { echo "pg_cluster: no PostgreSQL server binaries under /usr/lib/postgresql" >&2; exit 1; }

as_owner() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

server_start() { # dir port
    as_owner "$bindir/pg_ctl" -D "$1/data" -l "$1/log" -w -t 30 \
        -o "-c listen_addresses=127.0.0.1 -p $2 -c unix_socket_directories=$1 -c fsync=off -c max_connections=40" \
        start >/dev/null
}

# The folder's parent: the temporary folder, unless the server's user cannot reach it (a
# private TMPDIR of root's), then the system's.
base=${TMPDIR:-/tmp}
if [ "$(id -u)" = 0 ] && ! runuser -u postgres -- test -x "$base"; then base=/tmp; fi

case $cmd in
start)
    # A cluster that an interrupted run left (its stop never ran) goes first.
    if [ -f "$state" ]; then "$0" stop "$state"; fi
    dir=$(mktemp -d "$base/orvix-pg-XXXXXX")
    chmod 755 "$dir"
    if [ "$(id -u)" = 0 ]; then chown postgres "$dir"; fi
    # Recorded at once, so that "stop" also finds a server whose start was interrupted.
    mkdir -p "$(dirname "$state")"
    printf 'dir=%s\nbindir=%s\n' "$dir" "$bindir" >"$state"
    as_owner "$bindir/initdb" -D "$dir/data" -U tc -A trust -E UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; rm -rf "$dir" "$state"; exit 1; }
    # One role must give its password (the others are trusted), so that the tests can
    # see a password reach the server whole.
    sed -i '1i host all orvix_pw 127.0.0.1/32 scram-sha-256' "$dir/data/pg_hba.conf"
    range=${ORVIX_PG_PORTS:-25400-25499}
    first=${range%-*}
    last=${range#*-}
    # Start at a port of its own so that two fixtures starting together rarely meet.
    span=$((last - first + 1))
    offset=$(( $(od -An -N2 -tu2 /dev/urandom) % span ))
    port=
    i=0
    while [ $i -lt $span ]; do
        p=$((first + (offset + i) % span))
        if server_start "$dir" "$p" 2>/dev/null; then port=$p; break; fi
        i=$((i + 1))
    done
    if [ -z "$port" ]; then
        echo "pg_cluster: no free port in $range" >&2
        tail -n 20 "$dir/log" >&2 || true
        rm -rf "$dir" "$state"
        exit 1
    fi
    as_owner "$bindir/createdb" -h "$dir" -p "$port" -U tc tctest
    printf 'dir=%s\nport=%s\nbindir=%s\n' "$dir" "$port" "$bindir" >"$state"
    if [ -n "$odbcini" ]; then
        mkdir -p "$(dirname "$odbcini")"
        cat >"$odbcini" <<EOF
[orvix_pg]
Description=The tests' throw-away PostgreSQL cluster
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=tctest
Username=tc
EOF
    fi
    echo "pg_cluster: PostgreSQL on 127.0.0.1:$port in $dir"
    ;;
stop | halt | resume)
    [ -f "$state" ] || exit 0
    dir=$(sed -n 's/^dir=//p' "$state")
    port=$(sed -n 's/^port=//p' "$state")
    case $cmd in
    halt) as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null ;;
    resume) server_start "$dir" "$port" ;;
    stop)
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 || true
        case $dir in "$base"/orvix-pg-*) rm -rf "$dir" ;; esac
        rm -f "$state"
        ;;
    esac
    ;;
*)
    echo "usage: $0 start|stop|halt|resume STATE [ODBCINI]" >&2
    exit 2
    ;;
esac
