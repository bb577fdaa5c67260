# Shared start and stop for zelview's end-to-end scripts: sourced with the zelview binary as $1, from
# the repository root. Makes the test inputs in $WORK: a copy of data/f-16.obj that names a material
# library (two materials with highlights), and a 12 x 10 PPM of red and blue squares.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb-lib.sh"

ZELVIEW=$(realpath "$1")
session_begin

# The model with materials: every group alternately "hull" (grey) and "trim" (orange), both with a
# white highlight.
make_model() {
    {
        echo "mtllib f16.mtl"
        awk '{ print } $1 == "g" { print "usemtl " (n++ % 2 ? "trim" : "hull") }' data/f-16.obj
    } >"$WORK/f16.obj"
    cat >"$WORK/f16.mtl" <<'MTL'
newmtl hull
Ka 0.1 0.1 0.1
Kd 0.8 0.8 0.8
Ks 1 1 1
Ns 400
newmtl trim
Ka 0.1 0.1 0.1
Kd 0.9 0.5 0.2
Ks 1 1 1
Ns 400
MTL
    MODEL=$WORK/f16.obj
    TRIANGLES=$(awk '$1 == "f" { n += NF - 3 } END { print n }' "$MODEL")
}

# A 12 x 10 image of 3-pixel squares, red (255, 40, 40) and blue (40, 40, 255): little green.
make_ppm() {
    local x y
    {
        printf 'P6\n# zelview test texture\n12 10\n255\n'
        for ((y = 0; y < 10; y++)); do
            for ((x = 0; x < 12; x++)); do
                if (((x / 3 + y / 3) % 2)); then printf '\x28\x28\xff'; else printf '\xff\x28\x28'; fi
            done
        done
    } >"$WORK/texture.ppm"
    PPM=$WORK/texture.ppm
}

# start_viewer ARGS...: a fresh Xvfb with zelview in it; sets WID and puts the pointer in the window,
# so that keys reach it.
start_viewer() {
    start_app '^zelview: ' 400 350 "$ZELVIEW" "$@"
    sleep 0.5
}

title() {
    timeout 5 xdotool getwindowname "$WID"
}

# wait_title TITLE: waits up to 5 s for the window title, then a little for the frame to be drawn.
wait_title() {
    local i
    for ((i = 0; i < 50; i++)); do
        [[ $(title) == "$1" ]] && { sleep 0.4; return 0; }
        sleep 0.1
    done
    fail "window title is '$(title)', expected '$1'"
}

# press KEY TITLE: types the key and waits for the title it should give.
press() {
    timeout 10 xdotool key "$1" || fail "xdotool key $1"
    wait_title "$2"
}

# lit FILE: the number of pixels that are not black.
lit() {
    nonblack_box "$1" | cut -d' ' -f1
}

# colours FILE: the number of different colours in the picture.
colours() {
    im_convert "$1" -format %k info:
}

# green_per_red FILE: the picture's summed green over its summed red, times 1000.
green_per_red() {
    im_convert "$1" -format '%[fx:round(1000 * mean.g / mean.r)]' info:
}
