#!/usr/bin/env bash
# 'z' enlarges the whole scene, 'x' shrinks it: the landscape's drawn extent grows after four 'z'
# presses (by 1.125^4, about 1.6 in each direction) and falls below the start after eight 'x'
# (1.125^-4, about 0.62).
source "$(dirname "$0")/e2e-lib.sh"
start_scene
sleep 0.5
extent() {  # PNG -> "count width height" of the green pixels
    local n x0 y0 x1 y1
    read -r n x0 y0 x1 y1 _ < <(colour_box "$1" 00FF00)
    echo "$n $((x1 - x0 + 1)) $((y1 - y0 + 1))"
}
read -r n0 w0 h0 < <(extent "$(shot start)")
keys z z z z
sleep 0.5
read -r n1 w1 h1 < <(extent "$(shot bigger)")
keys x x x x x x x x
sleep 0.5
read -r n2 w2 h2 < <(extent "$(shot smaller)")
echo "green pixels, width, height: start $n0 $w0 $h0; after 4 z: $n1 $w1 $h1; after 8 x: $n2 $w2 $h2"
((n0 > 1000)) || fail "no landscape on screen"
# The start view already reaches the window's left edge, so the width is clipped when enlarged.
((w1 >= w0 && h1 * 10 > h0 * 13)) || fail "'z' did not enlarge the scene"
((n1 > n0)) || fail "'z' did not draw more landscape pixels"
((w2 * 10 < w0 * 8 && h2 * 10 < h0 * 8)) || fail "'x' did not shrink the scene"
((n2 < n0)) || fail "'x' did not draw fewer landscape pixels"
echo "PASS"
