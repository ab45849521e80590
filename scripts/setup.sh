#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing.
set -e
PKGS="qt6-base-dev qt6-serialport-dev qt6-svg-dev flex bison libfl-dev unixodbc unixodbc-dev
libsqliteodbc odbc-postgresql postgresql sqlite3 libeigen3-dev libboost-dev libgtest-dev libbenchmark-dev ninja-build ccache
fonts-dejavu-core cmake g++ python3-dbfread"
# Only on request, for the benchmarks: the peers they measure against (never for the tests).
if [ -n "$ORVIX_BENCH_PEERS" ]; then PKGS="$PKGS python3-scipy"; fi
# Only on request, for scripts/fuzz.sh: clang, and the runtimes of libFuzzer and the
# sanitizers (clang only recommends them).
if [ -n "$ORVIX_FUZZ_TOOLS" ]; then PKGS="$PKGS clang libclang-rt-dev"; fi
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg -s $PKGS locales >/dev/null 2>&1; then
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends $PKGS locales
fi
# A German locale, so the tests can show that numbers never take a decimal comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
fi
