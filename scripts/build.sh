#!/bin/sh
# Configures and builds everything into ./build (or $ORVIX_BUILD_DIR).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/setup.sh"
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
# Configure every time: new area folders are picked up by the configure step.
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $ORVIX_CMAKE_ARGS >/dev/null
cmake --build "$BUILD" -j "$(nproc)"
