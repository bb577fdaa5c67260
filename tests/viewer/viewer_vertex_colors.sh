#!/usr/bin/env bash
# zelview shows the vertex colours of a model whose file gives them, from the start and in every
# draw path: lit, each triangle keeps its own hue; outlined (unlit), the colours are exact; 'c'
# goes to plain grey and back. The model's material library is missing: one warning, and the
# model is shown all the same.
source "$(dirname "$0")/viewer-lib.sh"
make_coloured_model
start_viewer "$MODEL"
T="zelview: colours.obj -"
wait_title "$T filled smooth vertexcolor untextured list"

# hues FILE: for each colour but black, which samples are not zero (R, G, B, RG ...), sorted.
hues() {
    im_convert "$1" -format %c histogram:info:- |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p' |
        awk '$1 + $2 + $3 > 0 { print ($1 ? "R" : "") ($2 ? "G" : "") ($3 ? "B" : "") }' | sort -u |
        tr '\n' ' '
}
list=$(shot list)
echo "hues: $(hues "$list")"
[[ $(hues "$list") == "B G R " ]] || fail "the lit triangles show hues '$(hues "$list")'"

press l "$T filled smooth vertexcolor untextured mesh"
d_mesh=$(pixel_diff "$list" "$(shot mesh)")
press l "$T filled smooth vertexcolor untextured immediate"
d_immediate=$(pixel_diff "$list" "$(shot immediate)")
echo "pixels that differ from the display list: mesh $d_mesh, immediate $d_immediate"
((d_mesh == 0 && d_immediate == 0)) || fail "the draw paths differ"

press w "$T outline smooth vertexcolor untextured immediate"
outline=$(colour_set "$(shot outline)" | tr '\n' ' ')
[[ $outline == "000000 0000FF 00FF00 FF0000 " ]] || fail "the outlines are '$outline'"
press c "$T outline smooth plain untextured immediate"
plain=$(colour_set "$(shot plain)" | tr '\n' ' ')
[[ $plain == "000000 CCCCCC " ]] || fail "the plain outlines are '$plain'"
press c "$T outline smooth vertexcolor untextured immediate"

warning="zelReadMTL() warning: can't open material file \"$WORK/nowhere.mtl\", going on without it."
[[ $(grep warning "$WORK/stdout") == "$warning" ]] || fail "warnings: $(grep warning "$WORK/stdout")"
[[ -s $WORK/stderr ]] && fail "standard error: $(cat "$WORK/stderr")"
echo "PASS"
