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

# colour_set FILE: the picture's colours, one hex triple (FF8000) a line, sorted.
colour_set() {
    im_convert "$1" -format %c histogram:info:- | grep -o '#[0-9A-Fa-f]\{6\}' | tr -d '#' |
        tr a-f A-F | sort
}

# A strip of four squares side by side, each its own group and material and each with texture
# coordinates running over the whole square, made by the test itself:
#   a  a PNG of 2 x 2 blocks: red, green / blue, and a clear block (alpha 0) that is cut out;
#   b  a TGA of three columns, yellow, cyan and orange, 3 pixels wide (resampled to 4);
#   c  a binary PPM of two rows, purple above dark green (read by the library's reader);
#   d  a PNG that does not exist: one warning line, and the square is drawn untextured.
# Every material's ambient colour is far above 1, so that the lighting saturates to white and
# the texture's colours come out exact. An "o" line and a "vp" line need the load flags.
make_textured_model() {
    im_convert -size 1x1 xc:'#FF0000' xc:'#00FF00' +append \
        \( xc:'#0000FF' xc:'rgba(255,0,255,0)' +append \) -append -scale 200% +repage \
        "PNG32:$WORK/a.png" || fail "making a.png"
    im_convert -size 1x1 xc:'#FFFF00' xc:'#00FFFF' xc:'#FF8000' +append "$WORK/b.tga" ||
        fail "making b.tga"
    printf 'P6\n1 2\n255\n\x80\x00\xff\x00\x80\x40' >"$WORK/c.ppm"
    local names=(a b c d) maps=(a.png b.tga c.ppm missing.png) i x
    {
        echo "mtllib blocks.mtl"
        echo "o strip"
        for i in 0 1 2 3; do
            x=$((2 * i - 4))
            printf 'v %d -1 0\nv %d -1 0\nv %d 1 0\nv %d 1 0\n' $x $((x + 2)) $((x + 2)) $x
        done
        printf 'vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvp 0.5\n'
        for i in 0 1 2 3; do
            x=$((4 * i))
            printf 'g %s\nusemtl %s\nf %d/1 %d/2 %d/3 %d/4\n' "${names[i]}" "${names[i]}" \
                $((x + 1)) $((x + 2)) $((x + 3)) $((x + 4))
        done
    } >"$WORK/blocks.obj"
    for i in 0 1 2 3; do
        printf 'newmtl %s\nKa 10 10 10\nKd 1 1 1\nmap_Kd %s\n' "${names[i]}" "${maps[i]}"
    done >"$WORK/blocks.mtl"
    MODEL=$WORK/blocks.obj
}

# Three triangles side by side whose vertices are red, green and blue ("v x y z r g b"), naming a
# material library that is not there (a warning with the load flags).
make_coloured_model() {
    local colours=("1 0 0" "0 1 0" "0 0 1") i x
    {
        echo "mtllib nowhere.mtl"
        for i in 0 1 2; do
            x=$((2 * i))
            printf 'v %d -1 0 %s\nv %d -1 0 %s\nv %d 1 0 %s\n' $((x - 1)) "${colours[i]}" \
                $((x + 1)) "${colours[i]}" $x "${colours[i]}"
        done
        printf 'f 1 2 3\nf 4 5 6\nf 7 8 9\n'
    } >"$WORK/colours.obj"
    MODEL=$WORK/colours.obj
}
