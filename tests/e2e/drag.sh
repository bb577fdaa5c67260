#!/usr/bin/env bash
# A left-button drag turns the scene: 100 pixels to the right add 20 degrees of yaw, which moves and
# reshapes the landscape on screen; without a drag it stays as it is.
source "$(dirname "$0")/e2e-lib.sh"
start_scene
green() {  # PNG -> "minx miny maxx maxy meanx meany" of the landscape
    local n x0 y0 x1 y1 sx sy
    read -r n x0 y0 x1 y1 sx sy < <(colour_box "$1" 00FF00)
    echo "$x0 $y0 $x1 $y1 $((sx / n)) $((sy / n))"
}
sleep 0.5
g0=$(green "$(shot before1)")
sleep 0.3
g1=$(green "$(shot before2)")
echo "landscape before: $g0, then $g1"
# Jets flying over the landscape hide a few of its pixels, so allow a pixel or two.
close() {
    local a b
    read -r -a a <<<"$1"; read -r -a b <<<"$2"
    for i in 0 1 2 3 4 5; do
        (((a[i] - b[i]) ** 2 <= 4)) || return 1
    done
}
close "$g0" "$g1" || fail "the landscape moved without a drag"
timeout 10 xdotool mousemove --window "$WID" 500 500 mousedown 1 || fail "mousedown"
for x in 520 540 560 580 600; do
    timeout 10 xdotool mousemove --window "$WID" "$x" 500 || fail "mousemove"
    sleep 0.05
done
timeout 10 xdotool mouseup 1 || fail "mouseup"
sleep 0.5
g2=$(green "$(shot after)")
echo "landscape after the drag: $g2"
read -r a0 b0 c0 d0 e0 f0 <<<"$g0"
read -r a2 b2 c2 d2 e2 f2 <<<"$g2"
change=$(( (a2 - a0) ** 2 + (b2 - b0) ** 2 + (c2 - c0) ** 2 + (d2 - d0) ** 2 ))
echo "squared change of the landscape's box corners: $change"
((change > 400)) || fail "the drag did not turn the scene"
echo "PASS"
