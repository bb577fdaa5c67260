# Shared start and stop for the end-to-end scripts: sourced with the tarvossa binary as $1, from the
# repository root (the program reads data/ from its working directory).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb-lib.sh"

TARVOSSA=$(realpath "$1")
session_begin

# start_scene: a fresh Xvfb with the program in it; sets WID and puts the pointer in the window,
# so that keys reach it.
start_scene() {
    start_app '^Tarvossa$' 600 500 "$TARVOSSA"
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
