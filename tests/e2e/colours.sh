#!/usr/bin/env bash
# After start-up all four colours are on screen where their objects stand: the green landscape, the
# blue jets (jet 1 on the airstrip, the formation high over the far edge), the yellow ships at the far
# edge and the red radar antennas on them.
source "$(dirname "$0")/e2e-lib.sh"
start_scene
sleep 1
png=$(shot start)

expect_colour() {  # NAME HEX GEOMETRY MINIMUM
    local n
    n=$(colour_count "$png" "$2" "$3")
    echo "$1: $n pixels of #$2 in $3"
    ((n >= $4)) || fail "$1: expected at least $4 pixels of #$2 in $3, found $n"
}

expect_colour "landscape" 00FF00 "$(box_around 0 1 2 120)" 2000
expect_colour "jet 1 on the airstrip" 0000FF "$(box_around 0 1.55 6 20)" 10
expect_colour "jets 2, 4 and 6" 0000FF "$(box_around 0 10 -18 45)" 30
expect_colour "ship A" FFFF00 "$(box_around 12 0 -19.25 40)" 50
expect_colour "ship B" FFFF00 "$(box_around -12 0 -19.25 40)" 50
expect_colour "radar on ship A" FF0000 "$(box_around 12 0.8 -20.475 20)" 3
expect_colour "radar on ship B" FF0000 "$(box_around -12 0.8 -20.475 20)" 3
# Only the four colours and the black background: flat colours, no lighting, no blending.
others=$(im_convert "$png" -format %c histogram:info:- |
    grep -viE '#(000000|0000FF|00FF00|FFFF00|FF0000) ' | wc -l)
((others == 0)) || fail "$others colours besides black and the four object colours"
echo "PASS"
