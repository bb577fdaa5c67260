#!/usr/bin/env bash
# Frames per second of the scene at 1200 x 1000 in Xvfb with Mesa's software renderer: tarvossa as
# it is (every model drawn in immediate mode each frame) and the same frame drawn from display lists
# made by zelMakeList (bench/scene_fps/scene_lists.cpp), printed side by side.
#
#     bench/scene_fps.sh [SECONDS [ROUNDS]]      (default 10 s per run, 2 rounds)
#
# Each program runs alone in the same virtual X server for SECONDS; a preloaded glutSwapBuffers
# wrapper counts the frames it shows after the first ten. The rounds alternate the two programs so
# that a disturbance from other load hits both. Builds in build-bench/ (override with BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-10}
rounds=${2:-2}
build=${BUILD_DIR:-$root/build-bench}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target tarvossa scene_lists swapcount >/dev/null

source "$root/scripts/xvfb-lib.sh"
APP=""
cleanup() {
    stop_pid "$APP"
    xvfb_stop
}
trap cleanup EXIT
xvfb_start

# run PROGRAM -> "frames seconds"
run() {
    local out
    out=$(mktemp)
    LD_PRELOAD="$build/bench/scene_fps/libswapcount.so" SWAPCOUNT_OUT="$out" "$1" >/dev/null 2>&1 &
    APP=$!
    sleep "$seconds"
    stop_pid "$APP"
    APP=""
    tail -n1 "$out"
    rm -f "$out"
}

tri=0
for f in f-16:6 hang:1 abort:2 rader1:2 pung:2; do
    n=$(grep -c '^f ' "data/${f%%:*}.obj")
    tri=$((tri + n * ${f##*:}))
done
echo "scene frame: $tri outline triangles, window 1200 x 1000, $(nproc) cores, ${seconds} s per run"
printf '%-8s %22s %22s %8s\n' round "immediate mode (fps)" "display lists (fps)" ratio
for ((r = 1; r <= rounds; r++)); do
    read -r fi si < <(run "$build/scene/tarvossa")
    read -r fl sl < <(run "$build/bench/scene_fps/scene_lists")
    awk -v r="$r" -v fi="$fi" -v si="$si" -v fl="$fl" -v sl="$sl" 'BEGIN {
        a = fi / si; b = fl / sl
        printf "%-8s %22.1f %22.1f %7.2fx\n", r, a, b, b / a }'
done
