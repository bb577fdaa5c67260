#!/usr/bin/env bash
# zelview shows each group with its material's diffuse map, PNG (with a clear block cut out), TGA
# and binary PPM alike, upright and not mirrored, textured from the start, the same in every draw
# path; a map that cannot be read is one warning line and its square is still drawn. The model
# needs the load flags ("o" and "vp" lines).
source "$(dirname "$0")/viewer-lib.sh"
make_textured_model
start_viewer "$MODEL"
T="zelview: blocks.obj -"
wait_title "$T filled smooth material texture(file) list"

missing="zelview: can't read texture \"$WORK/missing.png\": No such file or directory"
[[ $(cat "$WORK/stderr") == "$missing" ]] || fail "standard error is '$(cat "$WORK/stderr")'"
vp="zelReadOBJ() warning: \"$MODEL\" line 23: unknown keyword \"vp\", lines starting with it skipped."
grep -qxF "$vp" "$WORK/stdout" || fail "no warning for the vp line: $(cat "$WORK/stdout")"

# Every texel's colour exactly, the clear block's magenta nowhere, the unreadable map's square
# white (its material, saturated), and black around.
EXPECTED="000000 0000FF 008040 00FF00 00FFFF 8000FF FF0000 FF8000 FFFF00 FFFFFF"
list=$(shot list)
colours=$(colour_set "$list" | tr '\n' ' ')
echo "colours: $colours"
[[ $colours == "$EXPECTED " ]] || fail "the colours are '$colours', expected '$EXPECTED'"

# centre FILE HEX: the mean pixel position "x y" of a colour.
centre() {
    colour_box "$1" "$2" | awk '{ printf "%d %d\n", $6 / $1, $7 / $1 }'
}
read -r red_x red_y <<<"$(centre "$list" FF0000)"
read -r green_x green_y <<<"$(centre "$list" 00FF00)"
read -r blue_x blue_y <<<"$(centre "$list" 0000FF)"
read -r yellow_x _ <<<"$(centre "$list" FFFF00)"
read -r cyan_x _ <<<"$(centre "$list" 00FFFF)"
read -r orange_x _ <<<"$(centre "$list" FF8000)"
read -r _ purple_y <<<"$(centre "$list" 8000FF)"
read -r _ dark_y <<<"$(centre "$list" 008040)"
echo "red $red_x,$red_y green $green_x,$green_y blue $blue_x,$blue_y; yellow, cyan, orange at" \
    "x $yellow_x, $cyan_x, $orange_x; purple and dark green at y $purple_y, $dark_y"
((red_x < green_x && red_y < blue_y)) || fail "the PNG is mirrored or upside down"
((yellow_x < cyan_x && cyan_x < orange_x)) || fail "the TGA is mirrored"
((purple_y < dark_y)) || fail "the PPM is upside down"

press l "$T filled smooth material texture(file) mesh"
d_mesh=$(pixel_diff "$list" "$(shot mesh)")
press l "$T filled smooth material texture(file) immediate"
d_immediate=$(pixel_diff "$list" "$(shot immediate)")
echo "pixels that differ from the display list: mesh $d_mesh, immediate $d_immediate"
((d_mesh == 0)) || fail "the mesh draws the textures differently"
((d_immediate == 0)) || fail "immediate mode draws the textures differently"

# Texture off: the saturated materials alone, white; the clear block is drawn again.
press t "$T filled smooth material untextured immediate"
untextured=$(shot untextured)
[[ $(colour_set "$untextured" | tr '\n' ' ') == "000000 FFFFFF " ]] ||
    fail "untextured, the colours are $(colour_set "$untextured" | tr '\n' ' ')"
(($(lit "$untextured") > $(lit "$list"))) || fail "the clear block was not cut out"

[[ $(wc -l <"$WORK/stderr") == 1 ]] || fail "more on standard error: $(cat "$WORK/stderr")"
echo "PASS"
