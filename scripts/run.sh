#!/bin/sh
# Builds and starts the program. Extra arguments go to the program.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh"
exec "$BUILD/app/orvix" "$@"
