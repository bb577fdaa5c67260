#!/usr/bin/env bash
# Frames per second of zelview on a model of about a million triangles, in its 800 x 700 window in
# Xvfb with Mesa's software renderer: drawn from a display list, from a mesh (vertex arrays) and in
# immediate mode, side by side, with the ratios to immediate mode. The model is lit, smooth and
# filled (zelview's start mode), turning a degree a frame.
#
#     bench/viewer_fps.sh [SECONDS [ROUNDS]]      (default 10 s per path, 2 rounds)
#
# The model is bench/gen_obj's wavy grid (positions, texture coordinates and normals), about
# 105 MB, made in /tmp/zel-viewer-fps unless MODEL names another OBJ file. Each path runs in a fresh
# zelview with ZELVIEW_SPIN=1, which turns the model and draws frame after frame; the l key picks
# the path. A preloaded glutSwapBuffers wrapper (bench/scene_fps/swapcount.cpp) reports the frames
# shown; they are counted over SECONDS once the title names the path and the first frames on it
# (which make the list or the mesh) are over. The rounds alternate the paths, so that a disturbance
# from other load hits all three. Builds in build-bench/ (override with BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-10}
rounds=${2:-2}
build=${BUILD_DIR:-$root/build-bench}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target zelview gen_obj swapcount >/dev/null

model=${MODEL:-/tmp/zel-viewer-fps/vtn-105.obj}
if [[ ! -s $model ]]; then
    mkdir -p "$(dirname "$model")"
    "$build/bench/gen_obj" vtn "$model" 105 >&2
fi
triangles=$(awk '$1 == "f" { n += NF - 3 } END { print n }' "$model")

source "$root/scripts/xvfb-lib.sh"
APP=""
WORK=$(mktemp -d)
cleanup() {
    stop_pid "$APP"
    xvfb_stop
    rm -rf "$WORK"
}
trap cleanup EXIT
xvfb_start || { echo "Xvfb did not start" >&2; exit 1; }

# last_count: the last "frames seconds" the wrapper wrote, or nothing yet.
last_count() {
    tail -n1 "$WORK/count" 2>/dev/null || true
}

# run PRESSES WORD -> "frames seconds" counted over $seconds on the path that PRESSES of l lead to.
run() {
    local presses=$1 word=$2 wid i
    rm -f "$WORK/count"
    ZELVIEW_SPIN=1 LD_PRELOAD="$build/bench/scene_fps/libswapcount.so" SWAPCOUNT_OUT="$WORK/count" \
        "$build/viewer/zelview" "$model" >"$WORK/out" 2>&1 &
    APP=$!
    wid=$(timeout 60 xdotool search --sync --name '^zelview: ' 2>/dev/null | head -n1)
    [[ -n $wid ]] || { echo "no zelview window" >&2; exit 1; }
    timeout 10 xdotool mousemove --window "$wid" 400 350
    for ((i = 0; i < presses; i++)); do timeout 10 xdotool key l; done
    for ((i = 0; i < 600; i++)); do
        [[ $(timeout 5 xdotool getwindowname "$wid") == *" $word" ]] && break
        sleep 0.1
    done
    # Two reports from the wrapper after the title changed: the path's first frame is behind.
    local start="" now
    for ((i = 0; i < 1200; i++)); do
        now=$(last_count)
        if [[ -n $now ]]; then
            if [[ -z $start ]]; then
                start=$now
            elif [[ $now != "$start" ]]; then
                start=$now
                break
            fi
        fi
        sleep 0.1
    done
    sleep "$seconds"
    now=$(last_count)
    stop_pid "$APP"
    APP=""
    awk -v a="$start" -v b="$now" 'BEGIN { split(a, x, " "); split(b, y, " ");
        printf "%d %.6f\n", y[1] - x[1], y[2] - x[2] }'
}

echo "zelview, $triangles triangles filled, smooth and lit, window 800 x 700, $(nproc) cores," \
    "${seconds} s per path"
printf '%-7s %18s %18s %18s %12s %12s\n' round "list (fps)" "mesh (fps)" "immediate (fps)" \
    "list/imm." "mesh/imm."
for ((r = 1; r <= rounds; r++)); do
    read -r fl sl < <(run 0 list)
    read -r fm sm < <(run 1 mesh)
    read -r fi si < <(run 2 immediate)
    awk -v r="$r" -v fl="$fl" -v sl="$sl" -v fm="$fm" -v sm="$sm" -v fi="$fi" -v si="$si" 'BEGIN {
        l = sl > 0 ? fl / sl : 0; m = sm > 0 ? fm / sm : 0; i = si > 0 ? fi / si : 0
        li = i > 0 ? l / i : 0; mi = i > 0 ? m / i : 0
        printf "%-7s %18.2f %18.2f %18.2f %11.2fx %11.2fx\n", r, l, m, i, li, mi }'
done
