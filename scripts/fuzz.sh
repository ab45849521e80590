#!/bin/sh
# Installs clang and its libFuzzer and sanitizer runtimes when missing, builds every target with
# them (libFuzzer, ASan, UBSan) into ./build-fuzz and runs one of the fuzz targets for a
# bounded time.
# Usage: scripts/fuzz.sh [seconds] [fuzz_datafile|fuzz_open|fuzz_task|fuzz_registry] [more libFuzzer flags, e.g. -fork=4]
# Findings land in build-fuzz/findings-<target>; the working corpus grows in build-fuzz/corpus-<target>
# (the seeds in tests/fuzz/corpus are only read).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_TO_RUN=${1:-300}
TARGET=${2:-fuzz_datafile}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
case "$TARGET" in
    fuzz_datafile|fuzz_open) SEEDS="$ROOT/tests/fuzz/corpus/datafile"; DICT= ;;
    fuzz_task) SEEDS="$ROOT/tests/fuzz/corpus/task"; DICT="-dict=$ROOT/tests/fuzz/task.dict" ;;
    fuzz_registry) SEEDS="$ROOT/tests/fuzz/corpus/registry"; DICT="-dict=$ROOT/tests/fuzz/registry.dict" ;;
    *) echo "unknown fuzz target: $TARGET" >&2; exit 2 ;;
esac
ORVIX_FUZZ_TOOLS=1 "$ROOT/scripts/setup.sh"
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# Everything, not only the target: the sanitizer build must keep building the whole tree.
cmake --build "$BUILD" -j "$(nproc)"
mkdir -p "$BUILD/corpus-$TARGET" "$BUILD/findings-$TARGET"
cd "$BUILD/findings-$TARGET"
export QT_QPA_PLATFORM=offscreen
"$BUILD/tests/fuzz/$TARGET" "$BUILD/corpus-$TARGET" "$SEEDS" $DICT \
    -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=2048 -malloc_limit_mb=256 -timeout=10 \
    -max_len=65536 -print_final_stats=1 "$@"
