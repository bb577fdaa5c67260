#!/usr/bin/env bash
# Each key of zelview changes the window title and what is on the screen:
#   w  filled / outline: outlines light far fewer pixels and are unlit (one colour);
#   s  flat / smooth: flat shading gives at most one colour a triangle, smooth many more;
#   c  material / color: the picture changes (the materials' highlights go);
#   t  texture on: the red and blue image takes the green out of the picture; off brings it back;
#   p  planar / sphere coordinates: the texture lies differently;
#   l  display list / mesh / immediate mode: the very same picture, filled and outlined.
source "$(dirname "$0")/viewer-lib.sh"
make_model
make_ppm
start_viewer "$MODEL" "$PPM"
T="zelview: f16.obj -"
wait_title "$T filled smooth material untextured list"
grep -qxF "zelview keys: w filled/outline, s flat/smooth, c color/material/vertexcolor, t texture on/off, p texture coordinates (file/planar/sphere), l display list/mesh/immediate, +/- zoom, r reset view, h help, q quit; mouse: left drag turns, right drag or wheel zooms" \
    "$WORK/stdout" || fail "no help line at start: $(cat "$WORK/stdout")"
filled=$(shot filled)

press w "$T outline smooth material untextured list"
outline=$(shot outline)
n_filled=$(lit "$filled")
n_outline=$(lit "$outline")
c_outline=$(colours "$outline")
echo "lit pixels: filled $n_filled, outline $n_outline (outline colours: $c_outline)"
((n_filled > 5000)) || fail "the filled model lights only $n_filled pixels"
((n_outline > 500 && n_outline * 10 < n_filled * 6)) || fail "outlines do not light fewer pixels"
# Unlit outlines in material mode take the viewer's grey alone: black and one colour.
((c_outline == 2)) || fail "outlines show $c_outline colours, expected 2 (unlit)"
[[ $(colour_count "$outline" CCCCCC) == "$n_outline" ]] || fail "outline pixels are not all #CCCCCC"
press w "$T filled smooth material untextured list"

press s "$T filled flat material untextured list"
flat=$(shot flat)
c_flat=$(colours "$flat")
c_smooth=$(colours "$filled")
echo "colours: smooth $c_smooth, flat $c_flat ($TRIANGLES triangles)"
((c_flat <= TRIANGLES + 1)) || fail "flat shading shows more colours than triangles"
((c_smooth > 2 * c_flat)) || fail "smooth shading shows too few colours"
press s "$T filled smooth material untextured list"

press c "$T filled smooth color untextured list"
color=$(shot color)
d_color=$(pixel_diff "$filled" "$color")
echo "pixels that differ between material and color: $d_color"
((d_color > 1000)) || fail "color looks like material"
press c "$T filled smooth material untextured list"
back=$(shot material-again)
[[ $(pixel_diff "$filled" "$back") == 0 ]] || fail "material after color is not the first picture"

press t "$T filled smooth material texture(planar) list"
planar=$(shot planar)
g0=$(green_per_red "$filled")
g1=$(green_per_red "$planar")
echo "green per 1000 red: untextured $g0, textured $g1"
((g1 * 2 < g0)) || fail "the texture did not change the colours"

press p "$T filled smooth material texture(sphere) list"
sphere=$(shot sphere)
d_sphere=$(pixel_diff "$planar" "$sphere")
echo "pixels that differ between planar and sphere coordinates: $d_sphere"
((d_sphere > 1000)) || fail "sphere coordinates look like planar ones"
(($(green_per_red "$sphere") * 2 < g0)) || fail "the sphere-mapped texture is missing"

press l "$T filled smooth material texture(sphere) mesh"
d_mesh=$(pixel_diff "$sphere" "$(shot mesh)")
echo "pixels that differ between display list and mesh: $d_mesh"
((d_mesh == 0)) || fail "the mesh draws a different picture"

press l "$T filled smooth material texture(sphere) immediate"
immediate=$(shot immediate)
d_list=$(pixel_diff "$sphere" "$immediate")
echo "pixels that differ between display list and immediate mode: $d_list"
((d_list == 0)) || fail "immediate mode draws a different picture"

# Back to planar (the model has no coordinates of its own, so p goes round two) and off.
press p "$T filled smooth material texture(planar) immediate"
[[ $(pixel_diff "$planar" "$(shot planar-again)") == 0 ]] || fail "planar again is not the first planar picture"
press t "$T filled smooth material untextured immediate"
[[ $(pixel_diff "$filled" "$(shot untextured-again)") == 0 ]] || fail "texture off is not the first picture"

# The mesh against the display list's pictures: untextured, flat and outlined.
press l "$T filled smooth material untextured list"
press l "$T filled smooth material untextured mesh"
[[ $(pixel_diff "$filled" "$(shot mesh-filled)") == 0 ]] || fail "the untextured mesh differs"
press s "$T filled flat material untextured mesh"
[[ $(pixel_diff "$flat" "$(shot mesh-flat)") == 0 ]] || fail "the flat mesh differs"
press s "$T filled smooth material untextured mesh"
press w "$T outline smooth material untextured mesh"
d_outline=$(pixel_diff "$outline" "$(shot mesh-outline)")
echo "pixels that differ between the outlines of the display list and the mesh: $d_outline"
((d_outline == 0)) || fail "the mesh outlines differ"

# Every mode the viewer asked for, the model had: the library printed no warning.
if grep -q warning "$WORK/stdout" "$WORK/stderr"; then
    fail "the library warned: $(cat "$WORK/stdout" "$WORK/stderr")"
fi
timeout 10 xdotool key q || fail "xdotool key q"
for ((i = 0; i < 50; i++)); do running "$APP_PID" || break; sleep 0.1; done
running "$APP_PID" && fail "q did not end the viewer"
wait "$APP_PID"
status=$?
APP_PID=""
((status == 0)) || fail "q ended the viewer with status $status"
echo "PASS"
