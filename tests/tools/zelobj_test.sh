#!/bin/sh
# Runs zelobj on a small model: info, a convert with operations and writer options, mesh, usage
# errors; then on what real files hold: vertex colours, dissolve and texture maps, "o" lines,
# unknown keywords and missing libraries under the load options.
# Usage: zelobj_test.sh PATH/TO/zelobj
set -u
ZELOBJ=$1
DIR=$(mktemp -d "${TMPDIR:-/tmp}/zelobj-test-XXXXXX")
trap 'rm -rf "$DIR"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...: the command must succeed
    desc=$1
    shift
    if ! "$@"; then
        echo "FAILED: $desc"
        failures=$((failures + 1))
    fi
}

cat > "$DIR/cube.obj" <<'OBJ'
mtllib cube.mtl
v -1 -1 -1
v 1 -1 -1
v 1 1 -1
v -1 1 -1
v -1 -1 1
v 1 -1 1
v 1 1 1
v -1 1 1
f 1 2 3 4
g  top side
usemtl red
f 5 6 7 8
OBJ
cat > "$DIR/cube.mtl" <<'MTL'
newmtl red
Kd 1 0 0
Ns 500
MTL

"$ZELOBJ" info "$DIR/cube.obj" > "$DIR/info.txt"
check "info exits 0" test $? -eq 0
check "info counts vertices" grep -qx 'vertices: 8' "$DIR/info.txt"
check "info counts triangles" grep -qx 'triangles: 4' "$DIR/info.txt"
check "info counts materials" grep -qx 'materials: 2' "$DIR/info.txt"
check "info reads a group's name whole" grep -qx '  "top side": 2 triangles, material 1 "red"' "$DIR/info.txt"
check "info shows the default group" grep -qx '  "default": 2 triangles, material 0 "default"' "$DIR/info.txt"
check "info shows material colours" grep -q 'Kd 1.000000 0.000000 0.000000  Ks 0.000000 0.000000 0.000000  shininess 64.000000' "$DIR/info.txt"
check "info says the vertices have no colours" grep -qx 'vertex colors: no' "$DIR/info.txt"
check "info counts what the model keeps beside its triangles" test "$(grep -xc -e 'polygons kept: 0' -e 'lines: 0' -e 'points: 0' -e 'smoothing groups: 0' "$DIR/info.txt")" -eq 4
"$ZELOBJ" info "$DIR/cube.obj" --concave-polygons --polygons > "$DIR/info-shapes.txt"
check "info takes the polygon load options" grep -qx 'triangles: 4' "$DIR/info-shapes.txt"
check "info shows each material's dissolve" test "$(grep -cx '    dissolve 1.000000' "$DIR/info.txt")" -eq 2
check "info shows no map without one" test "$(grep -c 'map_' "$DIR/info.txt")" -eq 0
"$ZELOBJ" info "$DIR/cube.obj" --documented > "$DIR/info-documented.txt"
check "--documented quotes a group with its blanks" grep -qx '  "  top side": 2 triangles, material 1 "red"' "$DIR/info-documented.txt"

"$ZELOBJ" convert "$DIR/cube.obj" "$DIR/out.obj" --scale 2 --facet-normals --vertex-normals 90 \
    --planar-texcoords --smooth --texture --material > "$DIR/convert.txt"
check "convert exits 0" test $? -eq 0
check "convert prints no warning" test ! -s "$DIR/convert.txt"
check "convert scales" grep -qx 'v -2.000000 -2.000000 -2.000000' "$DIR/out.obj"
check "convert writes normals" grep -qE '^# [1-9][0-9]* normals$' "$DIR/out.obj"
check "convert writes texcoords" grep -qx '# 8 texcoords' "$DIR/out.obj"
check "convert writes v/t/n faces, the quads kept" grep -qE '^f( [0-9]+/[0-9]+/[0-9]+){4}$' "$DIR/out.obj"
check "convert keeps the group name" grep -qx 'g top side' "$DIR/out.obj"
check "convert writes the library" grep -qx 'Ns 500.000000' "$DIR/cube.mtl"

"$ZELOBJ" convert "$DIR/cube.obj" "$DIR/fit.obj" --fit --flip --weld 0.001 --flat > "$DIR/flat.txt"
check "flat without facet normals warns" grep -q 'flat normal output requested with no facet normals' "$DIR/flat.txt"
check "the fitted model is in the unit cube" grep -qx 'v -1.000000 -1.000000 -1.000000' "$DIR/fit.obj"

# The cube's two quads share no vertex: 8 vertices, 4 triangles. Planar coordinates belong to the
# vertices, and the two triangles of a flat quad have equal facet normals: neither adds a vertex.
"$ZELOBJ" mesh "$DIR/cube.obj" > "$DIR/mesh.txt"
check "mesh exits 0" test $? -eq 0
check "mesh counts vertices" grep -qx 'vertices: 8' "$DIR/mesh.txt"
check "mesh counts indices" grep -qx 'indices: 12 (4 triangles)' "$DIR/mesh.txt"
check "mesh counts groups" grep -qx 'groups: 2' "$DIR/mesh.txt"
check "mesh gives the cache misses before and after" \
    grep -qE '^ACMR \(FIFO cache of 16 vertices\): [0-9]\.[0-9]{3} in the model.s order, [0-9]\.[0-9]{3} reordered$' "$DIR/mesh.txt"
"$ZELOBJ" mesh "$DIR/cube.obj" --planar-texcoords --texture --flat > "$DIR/mesh-flat.txt"
check "mesh --flat makes facet normals" grep -qx 'vertex: position, facet normal, texture coordinate (8 floats)' "$DIR/mesh-flat.txt"
check "equal facet normals keep corners shared" grep -qx 'vertices: 8' "$DIR/mesh-flat.txt"
"$ZELOBJ" mesh "$DIR/cube.obj" --smooth > "$DIR/mesh-smooth.txt"
check "mesh --smooth without normals warns" grep -qx 'zelMakeMesh() warning: smooth render mode requested with no normals defined.' "$DIR/mesh-smooth.txt"

# Vertex colours, dissolve and maps, with an "o" line and a "vp" line that need the load options.
cat > "$DIR/real.obj" <<'OBJ'
mtllib real.mtl
o hull
v 0 0 0 1 0 0.5
v 1 0 0 0 1 0
v 0 1 0
vp 0.5 0.5
usemtl wood
f 1 2 3
OBJ
cat > "$DIR/real.mtl" <<'MTL'
newmtl wood
d 0.5
map_Kd -s 2 2 -clamp on wood grain.png
map_Ka tex\ambient.png
newmtl glass
Tr 0.25
bump -bm 0.5 -o 0.25 bump.png
MTL
"$ZELOBJ" info "$DIR/real.obj" > "$DIR/real-default.txt"
check "by default an unknown keyword warns" grep -qx "zelReadOBJ() warning: \"$DIR/real.obj\" line 6: unknown keyword \"vp\", lines starting with it skipped." "$DIR/real-default.txt"
check "by default an object is a group named whole" grep -qx '  "hull": 1 triangles, material 1 "wood"' "$DIR/real-default.txt"
"$ZELOBJ" info "$DIR/real.obj" --documented > "$DIR/real-default.txt" 2>&1
check "an unknown keyword fails with --documented" test $? -eq 1
check "an unknown keyword is zelReadOBJ's line" \
    test "$(cat "$DIR/real-default.txt")" = 'zelFirstPass(): Unknown token "vp".'
"$ZELOBJ" info "$DIR/real.obj" --documented --unknown-keywords --objects > "$DIR/real.txt" 2> "$DIR/real.err"
check "info with load options exits 0" test $? -eq 0
check "info with load options prints nothing on stderr" test ! -s "$DIR/real.err"
check "--unknown-keywords warns once" grep -qx "zelReadOBJ() warning: \"$DIR/real.obj\" line 6: unknown keyword \"vp\", lines starting with it skipped." "$DIR/real.txt"
check "info says the vertices have colours" grep -qx 'vertex colors: yes' "$DIR/real.txt"
check "--objects makes the object a group" grep -qx '  " hull": 1 triangles, material 1 "wood"' "$DIR/real.txt"
check "info shows d as the dissolve" grep -qx '    dissolve 0.500000' "$DIR/real.txt"
check "info shows Tr as the dissolve" grep -qx '    dissolve 0.750000' "$DIR/real.txt"
check "info shows a map with its options" grep -qxF "    map_Kd name \"wood grain.png\" path \"$DIR/wood grain.png\" -s 2.000000 2.000000 1.000000 -clamp on" "$DIR/real.txt"
check "info shows a map's path with slashes" grep -qxF "    map_Ka name \"tex\\\\ambient.png\" path \"$DIR/tex/ambient.png\"" "$DIR/real.txt"
check "info shows a bump map's offset and multiplier" grep -qxF "    map_bump name \"bump.png\" path \"$DIR/bump.png\" -o 0.250000 0.000000 0.000000 -bm 0.500000" "$DIR/real.txt"
# Without --objects the "o" line starts no group.
"$ZELOBJ" info "$DIR/real.obj" --documented --unknown-keywords > "$DIR/real-groups.txt"
check "without --objects the object is no group" grep -qx '  "default": 1 triangles, material 1 "wood"' "$DIR/real-groups.txt"

# A Blender material: every parameter, map and kept statement is listed; by whole keywords Ni
# leaves the shininess alone.
printf 'mtllib blender.mtl\nv 0 0 0\nf 1 1 1\n' > "$DIR/blender.obj"
printf 'newmtl lamp\nNs 250\nKe 0.1 0.2 0.3\nNi 1.45\nillum 2\nPr 0.5\nnorm n.png\nrefl -type sphere sky.png\nKm 0.5\n' > "$DIR/blender.mtl"
"$ZELOBJ" info "$DIR/blender.obj" > "$DIR/blender.txt"
check "whole keywords read Ns alone as the shininess" grep -q 'shininess 32.000000$' "$DIR/blender.txt"
for line in '    emission 0.100000 0.200000 0.300000' '    ior 1.450000' '    illum 2' \
    '    roughness 0.500000' "    norm name \"n.png\" path \"$DIR/n.png\"" \
    "    refl name \"sky.png\" path \"$DIR/sky.png\" -type sphere" '    statement "Km 0.5"'; do
    check "info lists $line" grep -qxF "$line" "$DIR/blender.txt"
done
"$ZELOBJ" info "$DIR/blender.obj" --documented > "$DIR/blender-default.txt"
check "by first letters Ni is the shininess" grep -q 'shininess 0.185600$' "$DIR/blender-default.txt"

printf 'mtllib nowhere.mtl\nv 0 0 0\nf 1 1 1\n' > "$DIR/nolib.obj"
"$ZELOBJ" info "$DIR/nolib.obj" --documented > "$DIR/nolib.out" 2> "$DIR/nolib.err"
check "a missing library fails with --documented" test $? -eq 1
check "a missing library is zelReadMTL's line" \
    test "$(cat "$DIR/nolib.err")" = "zelReadMTL() failed: can't open material file \"$DIR/nowhere.mtl\"."
"$ZELOBJ" info --documented --missing-libraries "$DIR/nolib.obj" > "$DIR/nolib.out" 2> "$DIR/nolib.err"
check "--missing-libraries goes on" test $? -eq 0
check "--missing-libraries warns" grep -qx "zelReadMTL() warning: can't open material file \"$DIR/nowhere.mtl\", going on without it." "$DIR/nolib.out"
check "--missing-libraries leaves no materials" grep -qx 'materials: 0' "$DIR/nolib.out"

"$ZELOBJ" info "$DIR/cube.obj" --max-bytes 100 > "$DIR/max.out" 2> "$DIR/max.err"
check "--max-bytes below the model's needs exits 1" test $? -eq 1
check "--max-bytes below the model's needs says so on stderr" \
    grep -qxE "zelReadOBJ\(\) failed: \"$DIR/cube.obj\" needs [0-9]+ bytes of model arrays, more than the 100 allowed\." "$DIR/max.err"
check "--max-bytes: nothing on stdout" test ! -s "$DIR/max.out"
"$ZELOBJ" mesh "$DIR/cube.obj" --max-bytes 100000 > "$DIR/max.out"

# A library outside the model's folder, refused when asked.
mkdir "$DIR/model"
printf 'newmtl above\n' > "$DIR/above.mtl"
printf 'mtllib ../above.mtl\nv 0 0 0\nf 1 1 1\n' > "$DIR/model/up.obj"
"$ZELOBJ" info "$DIR/model/up.obj" --documented --confined-libraries > /dev/null 2> "$DIR/up.err"
check "--confined-libraries refuses a library above the model" \
    test "$(cat "$DIR/up.err")" = "zelReadMTL() failed: material file \"$DIR/model/../above.mtl\" is outside the model's folder."
"$ZELOBJ" info "$DIR/model/up.obj" > "$DIR/up.out"
check "without --confined-libraries it is read" grep -qx 'materials: 2' "$DIR/up.out"
check "--max-bytes above the model's needs reads it" grep -qx 'vertices: 8' "$DIR/max.out"

"$ZELOBJ" convert "$DIR/real.obj" "$DIR/colours.obj" --unknown-keywords --vertex-colors > "$DIR/colours.txt"
check "convert --vertex-colors exits 0" test $? -eq 0
check "convert --vertex-colors writes colours" grep -qx 'v 0.000000 0.000000 0.000000 1.000000 0.000000 0.500000' "$DIR/colours.obj"
check "a vertex without a colour is white" grep -qx 'v 0.000000 1.000000 0.000000 1.000000 1.000000 1.000000' "$DIR/colours.obj"
"$ZELOBJ" mesh "$DIR/real.obj" --unknown-keywords --vertex-colors > "$DIR/mesh-colours.txt"
check "mesh --vertex-colors holds colours" grep -qx 'vertex: position, color (6 floats)' "$DIR/mesh-colours.txt"
"$ZELOBJ" mesh "$DIR/cube.obj" --vertex-colors > "$DIR/mesh-nocolours.txt"
check "mesh --vertex-colors without colours warns" grep -q '^zelMakeMesh() warning: ' "$DIR/mesh-nocolours.txt"
check "mesh --vertex-colors without colours holds none" grep -qx 'vertex: position (3 floats)' "$DIR/mesh-nocolours.txt"

"$ZELOBJ" --help > "$DIR/help.txt"
check "--help exits 0" test $? -eq 0
for word in info convert mesh ACMR --fit --scale --flip --facet-normals --vertex-normals --planar-texcoords \
    --sphere-texcoords --weld --flat --smooth --texture --vertex-colors --color --material --objects \
    --missing-libraries --unknown-keywords --whole-keywords --confined-libraries --documented --max-bytes; do
    check "--help names $word" grep -q -- "$word" "$DIR/help.txt"
done

for args in "" "bogus" "info" "mesh" "mesh $DIR/cube.obj --weld" "convert $DIR/cube.obj" "convert $DIR/cube.obj $DIR/x.obj --scale" \
    "convert $DIR/cube.obj $DIR/x.obj --scale abc" "convert $DIR/cube.obj $DIR/x.obj --nope" \
    "info $DIR/cube.obj $DIR/cube.obj" "info --objects" "info $DIR/cube.obj --fit" \
    "info $DIR/cube.obj --max-bytes" "info $DIR/cube.obj --max-bytes 0" "mesh $DIR/cube.obj --max-bytes 1e3"; do
    # shellcheck disable=SC2086
    "$ZELOBJ" $args > /dev/null 2> "$DIR/usage.txt"
    check "usage error for '$args' exits 2" test $? -eq 2
    check "usage error for '$args' shows usage" grep -q '^usage: zelobj' "$DIR/usage.txt"
done

"$ZELOBJ" info "$DIR/missing.obj" 2> "$DIR/missing.txt"
check "a missing file exits 1" test $? -eq 1
check "a missing file is named" grep -q "can't open data file" "$DIR/missing.txt"

"$ZELOBJ" convert "$DIR/cube.obj" "$DIR/s.obj" --sphere-texcoords 2> "$DIR/sphere.txt"
check "sphere texcoords without normals exits 1" test $? -eq 1
check "sphere texcoords without normals says why" grep -q 'needs normals' "$DIR/sphere.txt"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all zelobj checks passed"
