#!/usr/bin/env bash
# zelview shows shapes as their authors made them: a U of eight corners in one face is cut so that
# its notch stays empty, where --documented fans it over part of the notch (the cut U lights no
# pixel the fan does not, and the fan lights more); and a model of nothing but "l" lines and "p"
# points is drawn, with nothing on standard error.
source "$(dirname "$0")/viewer-lib.sh"

printf 'v -3 -3 0\nv 3 -3 0\nv 3 3 0\nv 1 3 0\nv 1 -1 0\nv -1 -1 0\nv -1 3 0\nv -3 3 0\nf 1 2 3 4 5 6 7 8\n' \
    >"$WORK/u.obj"
declare -A shots
for dialect in real documented; do
    args=("$WORK/u.obj")
    [[ $dialect == documented ]] && args=(--documented "${args[@]}")
    start_viewer "${args[@]}"
    wait_title "zelview: u.obj - filled smooth plain untextured list"
    shots[$dialect]=$(shot "u-$dialect")
    echo "$dialect: $(lit "${shots[$dialect]}") pixels lit"
    stop_pid "$APP_PID"
    xvfb_stop
done
cut=$(lit "${shots[real]}")
fanned=$(lit "${shots[documented]}")
differ=$(pixel_diff "${shots[real]}" "${shots[documented]}")
# Pixels of the cut U that the fan leaves black (none but an edge's), from |A - B| + |B - A|.
outside=$(((differ - (fanned - cut)) / 2))
echo "the fan lights $((fanned - cut)) pixels more; $outside of the cut U's pixels are not the fan's"
((cut > 2000 && fanned - cut > cut / 20)) || fail "the fan does not cover more than the cut U"
((outside < 200)) || fail "the cut U lights $outside pixels outside the fan's"

# A square outline and a diagonal as "l" lines, and its corners again as "p" points: no face.
printf 'v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nl 1 2 3 4 1\nl 1 3\np 1 2 3 4\n' >"$WORK/lines.obj"
start_viewer "$WORK/lines.obj"
wait_title "zelview: lines.obj - filled smooth plain untextured list"
picture=$(shot lines)
read -r count minx miny maxx maxy < <(nonblack_box "$picture")
echo "lines: $count pixels lit in ${minx},${miny} .. ${maxx},${maxy}"
((count > 300)) || fail "the lines are not drawn ($count pixels)"
# The square is seen face on: its lit box is about as wide as it is high.
((maxx - minx > 100 && (maxx - minx) * 10 < (maxy - miny) * 12)) || fail "the lines' box is ${minx},${miny} .. ${maxx},${maxy}"
[[ -s $WORK/stderr ]] && fail "standard error: $(cat "$WORK/stderr")"
echo "PASS"
