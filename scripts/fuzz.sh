#!/bin/sh
# Builds the data-file fuzz targets with clang (libFuzzer, ASan, UBSan) into ./build-fuzz and runs
# one of them for a bounded time.
# Usage: scripts/fuzz.sh [seconds] [fuzz_datafile|fuzz_open] [more libFuzzer flags, e.g. -fork=4]
# Findings land in build-fuzz/findings-<target>; the working corpus grows in build-fuzz/corpus-<target>
# (the seeds in tests/fuzz/corpus/datafile are only read).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_TO_RUN=${1:-300}
TARGET=${2:-fuzz_datafile}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
"$ROOT/scripts/setup.sh"
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "$TARGET"
mkdir -p "$BUILD/corpus-$TARGET" "$BUILD/findings-$TARGET"
cd "$BUILD/findings-$TARGET"
export QT_QPA_PLATFORM=offscreen
"$BUILD/tests/fuzz/$TARGET" "$BUILD/corpus-$TARGET" "$ROOT/tests/fuzz/corpus/datafile" \
    -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=2048 -malloc_limit_mb=256 -timeout=10 \
    -max_len=65536 -print_final_stats=1 "$@"
