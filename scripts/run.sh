#!/bin/sh
# Builds and starts the program. Extra arguments go to the program.
# Unless ORVIX_RENDERER=external, the stand-in renderer runs beside it on loopback (its
# scenes in $ORVIX_SCENES, default ~/orvix/scenes; free ports of its own, which the program
# is given), the eye tracker is simulated and a simulated subject presses the key now and
# then. When the stand-in cannot listen, the program is not started.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVIX_BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh"
# The working folder holds the task file ("Task.c") and command file ("mytest.oxq") that a
# new test names, and the task language's worked example ("Fixation.c"); the examples are
# copied there the first time. By default it is the folder
# of the default task file "c:\orvix\task\Task.c", so both names find the same file, and the
# default data folder "c:\data" is made beside it, with "c:\temp", the export dialogs' default
# output folder.
DRIVES=${ORVIX_DRIVES:-$HOME/orvix}
WORK=${ORVIX_WORK:-$DRIVES/c/orvix/task}
mkdir -p "$WORK" "$DRIVES/c/data" "$DRIVES/c/temp"
# A copy that is still one of the shipped versions (never edited) follows the current one.
example() { # file name in examples/
    if [ -f "$WORK/$1" ]; then
        blob=$(git -C "$ROOT" hash-object "$WORK/$1" 2>/dev/null) || return 0
        git -C "$ROOT" rev-list --all --objects -- "examples/$1" 2>/dev/null \
            | grep -q "^$blob examples/$1\$" || return 0
    fi
    cp "$ROOT/examples/$1" "$WORK/"
}
example Task.c
example Fixation.c
example mytest.oxq
# Qt wants a private runtime folder, and the instance handshake keeps its sockets there. Where
# no desktop session gives one: the folder the program itself falls back to, so that two runs
# (and programs started without this script) see each other. That is <temp>/orvix-<uid> when
# it is this user's own folder, not a link, that only the user may enter (anyone may take that
# name first); else orvix-runtime-<host> in the user's state folder (a home may serve several
# machines). It is kept, as a session's is, since another run may be starting in it.
levels_own() { # folder: no level of its real path is another user's (root's are fine)
    level=$(realpath "$1") || return 1
    while :; do
        case $(stat -c %u "$level") in 0 | "$(id -u)") ;; *) return 1 ;; esac
        [ "$level" = / ] && return 0
        level=$(dirname "$level")
    done
}
own_private() { # folder [mkdir option]: made when missing; true when it is the user's own, 0700
    existing=$1
    while [ ! -e "$existing" ] && [ ! -L "$existing" ]; do existing=$(dirname "$existing"); done
    levels_own "$existing" || return 1
    (umask 077 && mkdir $2 "$1") 2>/dev/null || true
    [ ! -L "$1" ] && [ -d "$1" ] && [ -O "$1" ] && [ "$(stat -c %a "$1")" = 700 ] && levels_own "$1"
}
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    case ${XDG_STATE_HOME:-} in
    /*) STATE=$XDG_STATE_HOME ;;
    *) STATE=$HOME/.local/state ;;
    esac
    XDG_RUNTIME_DIR=${TMPDIR:-/tmp}/orvix-$(id -u)
    if ! own_private "$XDG_RUNTIME_DIR"; then
        echo "run.sh: $XDG_RUNTIME_DIR is not a folder of this user's own; using one in $STATE" >&2
        XDG_RUNTIME_DIR=$STATE/orvix-runtime-$(uname -n)
        if ! own_private "$XDG_RUNTIME_DIR" -p; then
            echo "run.sh: $XDG_RUNTIME_DIR is not a folder of this user's own either; set XDG_RUNTIME_DIR" >&2
            exit 1
        fi
    fi
    export XDG_RUNTIME_DIR
fi
if [ "${ORVIX_RENDERER:-standin}" != external ]; then
    SCENES=${ORVIX_SCENES:-$HOME/orvix/scenes}
    mkdir -p "$SCENES"
    [ -f "$SCENES/mytest.iv.params" ] || cp "$ROOT/examples/mytest.iv.params" "$SCENES/"
    # Ports of its own for this run, so that two users' runs, or two copies, never meet: the
    # stand-in takes free ones (or those the user named), its first line says which, and the
    # program gets the same.
    PORTS=$(mktemp "$XDG_RUNTIME_DIR/orvix-renderer-XXXXXX")
    ORVIX_RENDERER_PORT=${ORVIX_RENDERER_PORT:-0} ORVIX_CONSOLE_PORT=${ORVIX_CONSOLE_PORT:-0} \
        "$BUILD/app/orvix-renderer" --scenes "$SCENES" >"$PORTS" &
    RENDERER_PID=$!
    trap 'kill $RENDERER_PID 2>/dev/null || true; rm -f "$PORTS"; exit 130' INT TERM
    waited=0
    while ! grep -q '^orvix-renderer listening' "$PORTS" && kill -0 $RENDERER_PID 2>/dev/null \
        && [ $waited -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    LISTENING=$(sed -n 's/^orvix-renderer listening: command port \([0-9]*\), console port \([0-9]*\)$/\1 \2/p' "$PORTS")
    rm -f "$PORTS"
    if [ -z "$LISTENING" ]; then
        kill $RENDERER_PID 2>/dev/null && reason="it named no ports within 10 s" || reason="its reason is above"
        echo "run.sh: the stand-in renderer is not listening ($reason); the program is not started" >&2
        exit 1
    fi
    export ORVIX_RENDERER_PORT=${LISTENING% *} ORVIX_CONSOLE_PORT=${LISTENING#* }
    echo "run.sh: the stand-in renderer listens on 127.0.0.1, command port $ORVIX_RENDERER_PORT, console port $ORVIX_CONSOLE_PORT"
    export ORVIX_SIMULATED_EYE=${ORVIX_SIMULATED_EYE:-1}
    export ORVIX_SIMULATED_SUBJECT=${ORVIX_SIMULATED_SUBJECT:-1}
fi
# The program runs in the background so that a signal to this script reaches both.
cd "$WORK"
"$BUILD/app/orvix" "$@" &
PROGRAM_PID=$!
trap 'kill $PROGRAM_PID ${RENDERER_PID:-} 2>/dev/null || true' INT TERM
STATUS=0
wait $PROGRAM_PID || STATUS=$?
# A signal interrupts the first wait; the program is then ending: wait for it once more.
kill -0 $PROGRAM_PID 2>/dev/null && { wait $PROGRAM_PID || STATUS=$?; }
[ -n "${RENDERER_PID:-}" ] && kill $RENDERER_PID 2>/dev/null || true
exit $STATUS
