#!/bin/sh
# Builds and starts the program. Extra arguments go to the program.
# Unless ORVIX_RENDERER=external, the stand-in renderer runs beside it on loopback (its
# scenes in $ORVIX_SCENES, default ~/orvix/scenes) and the eye tracker is simulated.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh"
if [ "${ORVIX_RENDERER:-standin}" != external ]; then
    SCENES=${ORVIX_SCENES:-$HOME/orvix/scenes}
    mkdir -p "$SCENES"
    "$BUILD/app/orvix-renderer" --scenes "$SCENES" &
    RENDERER_PID=$!
    trap 'kill $RENDERER_PID 2>/dev/null || true' EXIT INT TERM
    export ORVIX_SIMULATED_EYE=${ORVIX_SIMULATED_EYE:-1}
fi
"$BUILD/app/orvix" "$@"
