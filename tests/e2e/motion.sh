#!/usr/bin/env bash
# Without any input the picture changes from frame to frame: the wing jets fly, the radars spin and
# the guns swing. The landscape, the ships and the other jets stay where they are.
source "$(dirname "$0")/e2e-lib.sh"
start_scene
sleep 0.5
a=$(shot first)
sleep 0.7
b=$(shot second)
d=$(pixel_diff "$a" "$b")
echo "pixels changed between two shots 0.7 s apart: $d"
((d > 20)) || fail "the picture did not change without input ($d pixels differ)"
# The moving parts are blue (jets 3 and 5) and red (radar, gun): their pixels moved.
read -r _ _ _ _ _ bx1 by1 < <(colour_box "$a" 0000FF)
read -r _ _ _ _ _ bx2 by2 < <(colour_box "$b" 0000FF)
read -r _ _ _ _ _ rx1 ry1 < <(colour_box "$a" FF0000)
read -r _ _ _ _ _ rx2 ry2 < <(colour_box "$b" FF0000)
[[ "$bx1 $by1 $rx1 $ry1" != "$bx2 $by2 $rx2 $ry2" ]] || fail "blue and red pixels did not move"
# The ships stand still until 'w'.
ya=$(colour_box "$a" FFFF00); yb=$(colour_box "$b" FFFF00)
read -r n1 _ _ _ _ sx1 _ <<<"$ya"
read -r n2 _ _ _ _ sx2 _ <<<"$yb"
c1=$((sx1 / (n1 > 0 ? n1 : 1))); c2=$((sx2 / (n2 > 0 ? n2 : 1)))
echo "ships' yellow centre x: $c1 then $c2"
((n1 > 0 && c1 - c2 <= 3 && c2 - c1 <= 3)) || fail "the ships moved without 'w'"
echo "PASS"
