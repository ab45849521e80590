#!/bin/sh
# Builds everything, checks the include layering and runs every test headless.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh"
"$ROOT/scripts/check_layers.sh"
export QT_QPA_PLATFORM=offscreen
# Every test process makes its runtime folder in a home of its own and removes it with the
# home (tests/common/tempdir.h), so that none is left here however the run ends.
unset XDG_RUNTIME_DIR
# An interrupted run never reaches the CTest fixture that stops the database tests'
# PostgreSQL cluster: stop it here then. dash runs no EXIT trap when a signal ends it, so
# each signal has a trap that stops the cluster and then ends the script by that signal.
PG_STATE=$BUILD/tests/export/odbc/pg/state
stop_cluster() { [ ! -f "$PG_STATE" ] || "$ROOT/tests/export/odbc/pg_cluster.sh" stop "$PG_STATE" || true; }
trap stop_cluster EXIT
for sig in INT TERM HUP; do
    trap "stop_cluster; trap - EXIT $sig; kill -$sig \$\$" $sig
done
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)" "$@"
