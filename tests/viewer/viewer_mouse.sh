#!/usr/bin/env bash
# zelview's mouse: a left drag turns the model (the picture changes, the title does not), the wheel
# turned up zooms in (more pixels lit) and down zooms out, a right drag downwards zooms out; '+',
# '-' and 'r' zoom and reset by key.
source "$(dirname "$0")/viewer-lib.sh"
start_viewer data/abort.obj
T="zelview: abort.obj - filled smooth plain untextured list"
wait_title "$T"
start=$(shot start)
n_start=$(lit "$start")

mouse() {  # xdotool mouse commands, one call each
    timeout 10 xdotool "$@" || fail "xdotool $*"
}
mouse mousemove --window "$WID" 300 350
mouse mousedown 1
mouse mousemove --window "$WID" 360 370
mouse mousemove --window "$WID" 420 390
mouse mouseup 1
sleep 0.5
turned=$(shot turned)
d_turn=$(pixel_diff "$start" "$turned")
echo "pixels changed by the left drag: $d_turn"
((d_turn > 1000)) || fail "the left drag did not turn the model"
[[ $(title) == "$T" ]] || fail "the drag changed the title: $(title)"

timeout 10 xdotool key r || fail "xdotool key r"
sleep 0.5
[[ $(pixel_diff "$start" "$(shot reset)") == 0 ]] || fail "'r' did not bring back the start view"

mouse click 4
mouse click 4
sleep 0.5
n_in=$(lit "$(shot wheel-in)")
mouse click 5
mouse click 5
mouse click 5
mouse click 5
sleep 0.5
n_out=$(lit "$(shot wheel-out)")
echo "lit pixels: start $n_start, wheel up twice $n_in, then down four times $n_out"
((n_in * 10 > n_start * 12)) || fail "the wheel turned up did not zoom in"
((n_out * 10 < n_start * 9)) || fail "the wheel turned down did not zoom out"

timeout 10 xdotool key r || fail "xdotool key r"
mouse mousemove --window "$WID" 400 300
mouse mousedown 3
mouse mousemove --window "$WID" 400 340
mouse mousemove --window "$WID" 400 380
mouse mouseup 3
sleep 0.5
n_right=$(lit "$(shot right-drag)")
timeout 10 xdotool key r plus plus plus || fail "xdotool key"
sleep 0.5
n_plus=$(lit "$(shot plus)")
echo "lit pixels: right drag down 80 pixels $n_right, '+' three times $n_plus"
((n_right * 10 < n_start * 8)) || fail "the right drag did not zoom out"
((n_plus * 10 > n_start * 13)) || fail "'+' did not zoom in"
echo "PASS"
