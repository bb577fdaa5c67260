#!/usr/bin/env bash
# 'a' sends jet 1 off along the airstrip and 'w' sends the ships out; without the keys both stay put.
source "$(dirname "$0")/e2e-lib.sh"
start_scene
jet1=$(box_around 0 1.55 6 25)
ship_centre() {  # PNG -> mean x and y of the yellow pixels
    local n sx sy
    read -r n _ _ _ _ sx sy < <(colour_box "$1" FFFF00)
    ((n > 0)) && echo "$((sx / n)) $((sy / n))" || echo "none"
}
# At rest: jet 1 stays on its spot and the ships keep their place.
sleep 0.5
rest1=$(shot rest1)
sleep 0.5
rest2=$(shot rest2)
for png in "$rest1" "$rest2"; do
    n=$(colour_count "$png" 0000FF "$jet1")
    ((n > 0)) || fail "jet 1 not on its spot before 'a'"
done
im_convert "$rest1" -crop "$jet1" +repage "$WORK/a.png"
im_convert "$rest2" -crop "$jet1" +repage "$WORK/b.png"
[[ $(pixel_diff "$WORK/a.png" "$WORK/b.png") == 0 ]] || fail "jet 1's spot changed without 'a'"
s1=$(ship_centre "$rest1"); s2=$(ship_centre "$rest2")
echo "ships at rest: $s1, then $s2"
[[ $s1 != none && $s2 != none ]] || fail "no ships on screen"
read -r x1 y1 <<<"$s1"; read -r x2 y2 <<<"$s2"
# The spinning radars hide a few hull pixels, so the centre may wobble by a pixel.
(((x1 - x2) ** 2 + (y1 - y2) ** 2 <= 9)) || fail "ships moved without 'w'"

# The animation runs one step per frame and the frame rate is anything from tens to hundreds per
# second, so a whole sequence may be over between two shots. Jet 1 counts as sent off when its spot
# is empty in a shot or looks different from the rest shots (after a full round it rests 0.3 further
# on and 0.09 lower); the ships when their yellow centre has moved (after a full run they have
# traded sides and stop at different travels).
im_convert "$rest1" -crop "$jet1" +repage "$WORK/jet1-rest.png"
keys a w
gone=0
moved=0
for i in 1 2 3 4 5 6; do
    png=$(shot "run$i")
    n=$(colour_count "$png" 0000FF "$jet1")
    im_convert "$png" -crop "$jet1" +repage "$WORK/jet1-now.png"
    d=$(pixel_diff "$WORK/jet1-rest.png" "$WORK/jet1-now.png")
    s=$(ship_centre "$png")
    echo "after the keys, shot $i: $n blue pixels on jet 1's spot, $d changed; ships at $s"
    ((n == 0 || d > 0)) && gone=1
    if [[ $s != none ]]; then
        read -r x y <<<"$s"; read -r x0 y0 <<<"$s1"
        (((x - x0) ** 2 + (y - y0) ** 2 > 100)) && moved=1
    fi
    sleep 0.2
done
((gone)) || fail "'a' did not send jet 1 off"
((moved)) || fail "'w' did not move the ships"
echo "PASS"
