#!/bin/sh
# Builds everything, checks the include layering and runs every test headless.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh"
"$ROOT/scripts/check_layers.sh"
export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(mktemp -d /tmp/orvix-xdg-XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)" "$@"
