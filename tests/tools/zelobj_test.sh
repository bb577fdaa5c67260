#!/bin/sh
# Runs zelobj on a small model: info, a convert with operations and writer options, mesh, usage
# errors.
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
check "info quotes a group with its blanks" grep -qx '  "  top side": 2 triangles, material 1 "red"' "$DIR/info.txt"
check "info shows the default group" grep -qx '  "default": 2 triangles, material 0 "default"' "$DIR/info.txt"
check "info shows material colours" grep -q 'Kd 1.000000 0.000000 0.000000  Ks 0.000000 0.000000 0.000000  shininess 64.000000' "$DIR/info.txt"

"$ZELOBJ" convert "$DIR/cube.obj" "$DIR/out.obj" --scale 2 --facet-normals --vertex-normals 90 \
    --planar-texcoords --smooth --texture --material > "$DIR/convert.txt"
check "convert exits 0" test $? -eq 0
check "convert prints no warning" test ! -s "$DIR/convert.txt"
check "convert scales" grep -qx 'v -2.000000 -2.000000 -2.000000' "$DIR/out.obj"
check "convert writes normals" grep -qE '^# [1-9][0-9]* normals$' "$DIR/out.obj"
check "convert writes texcoords" grep -qx '# 8 texcoords' "$DIR/out.obj"
check "convert writes v/t/n faces" grep -qE '^f [0-9]+/[0-9]+/[0-9]+ [0-9]+/[0-9]+/[0-9]+ [0-9]+/[0-9]+/[0-9]+$' "$DIR/out.obj"
check "convert keeps the group name" grep -qx 'g  top side' "$DIR/out.obj"
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

"$ZELOBJ" --help > "$DIR/help.txt"
check "--help exits 0" test $? -eq 0
for word in info convert mesh ACMR --fit --scale --flip --facet-normals --vertex-normals --planar-texcoords \
    --sphere-texcoords --weld --flat --smooth --texture --color --material; do
    check "--help names $word" grep -q -- "$word" "$DIR/help.txt"
done

for args in "" "bogus" "info" "mesh" "mesh $DIR/cube.obj --weld" "convert $DIR/cube.obj" "convert $DIR/cube.obj $DIR/x.obj --scale" \
    "convert $DIR/cube.obj $DIR/x.obj --scale abc" "convert $DIR/cube.obj $DIR/x.obj --nope"; do
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
