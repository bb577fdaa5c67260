# Shared start and stop for the end-to-end scripts: sourced with the tarvossa binary as $1, from the
# repository root (the program reads data/ from its working directory).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb-lib.sh"

TARVOSSA=$(realpath "$1")
WORK=$(mktemp -d)
APP_PID=""
WID=""

finish() {
    stop_pid "$APP_PID"
    xvfb_stop
    rm -rf "$WORK"
}
trap finish EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# start_scene: a fresh Xvfb with the program in it; sets WID and puts the pointer in the window,
# so that keys reach it.
start_scene() {
    xvfb_start || fail "Xvfb did not start"
    "$TARVOSSA" >"$WORK/stdout" 2>"$WORK/stderr" &
    APP_PID=$!
    WID=$(wait_window Tarvossa)
    [[ -n $WID ]] || fail "no Tarvossa window within 10 s ($(cat "$WORK/stderr"))"
    timeout 10 xdotool mousemove --window "$WID" 600 500 || fail "xdotool mousemove"
}

# shot NAME: a screenshot of the window into $WORK/NAME.png; prints the path.
shot() {
    screenshot "$WID" "$WORK/$1.png" || fail "screenshot $1"
    echo "$WORK/$1.png"
}

# keys KEY...: types the keys into the window (the pointer is in it).
keys() {
    timeout 10 xdotool key --delay 20 "$@" || fail "xdotool key $*"
}

# box_around X Y Z R: crop geometry of a square of 2R pixels round where the scene point appears.
box_around() {
    local px py
    read -r px py < <(project "$1" "$2" "$3")
    echo "$((2 * $4))x$((2 * $4))+$((px - $4))+$((py - $4))"
}
