#!/usr/bin/env bash
# The reader benchmark: three ~100 MB OBJ files as exporters write them, each read by zelReadOBJ, the
# plain stdio reference reader of the tests, tinyobjloader and assimp, every run in a fresh process,
# best of three with the file warm in the page cache.
#
#   bench/run_read_bench.sh [build-dir] [data-dir]
#
# build-dir (default: build) must hold bench/gen_obj and bench/bench_read_one (configure with
# -DZEL_BUILD_BENCH=ON). The files are generated into data-dir (default: /tmp/zel-read-bench) unless
# they are there already. READERS, RUNS and MEGABYTES in the environment narrow or change the run.
set -euo pipefail

build=${1:-build}
data=${2:-/tmp/zel-read-bench}
readers=${READERS:-"zel reference tinyobjloader assimp"}
runs=${RUNS:-3}
megabytes=${MEGABYTES:-100}
gen="$build/bench/gen_obj"
one="$build/bench/bench_read_one"
for program in "$gen" "$one"; do
    if [[ ! -x "$program" ]]; then
        echo "missing $program: build with -DZEL_BUILD_BENCH=ON first" >&2
        exit 1
    fi
done

mkdir -p "$data"
declare -A label=([vtn]="a: v/t/n triangles" [v]="b: v triangles" [quad]="c: v/t/n quads")
kinds="vtn v quad"
for kind in $kinds; do
    file="$data/$kind-$megabytes.obj"
    [[ -s "$file" ]] || "$gen" "$kind" "$file" "$megabytes" >&2
done

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for kind in $kinds; do
    file="$data/$kind-$megabytes.obj"
    size=$(stat -c %s "$file")
    for reader in $readers; do
        best=""
        for ((run = 0; run < runs; run++)); do
            cat "$file" > /dev/null   # keep it in the page cache
            if ! line=$(timeout 900 "$one" "$reader" "$file"); then
                echo "$reader failed on $file" >&2
                continue
            fi
            seconds=$(awk '{print $3}' <<< "$line")
            if [[ -z "$best" ]] || awk -v a="$seconds" -v b="$best" 'BEGIN {exit !(a < b)}'; then
                best=$seconds
                bestLine=$line
            fi
        done
        [[ -n "$best" ]] && echo "$kind $size $bestLine" >> "$results"
    done
done

awk -v labels="vtn=${label[vtn]};v=${label[v]};quad=${label[quad]}" '
BEGIN {
    n = split(labels, parts, ";")
    for (i = 1; i <= n; i++) { split(parts[i], kv, "="); name[kv[1]] = kv[2] }
    target["vtn"] = 5; target["v"] = 8; target["quad"] = 3.5
}
{
    kind = $1; reader = $3
    rows[++count] = $0
    if (reader == "tinyobjloader") tiny[kind] = $5
    if (reader == "zel") zel[kind] = $5
}
END {
    printf "%-20s %8s  %-13s %8s %8s %9s %9s %9s %9s %10s\n", "file", "size MB", "reader", "seconds", "MB/s",
           "x tinyobj", "peak MiB", "start MiB", "model MiB", "peak-model"
    for (i = 1; i <= count; i++) {
        split(rows[i], f, " ")
        kind = f[1]; mb = f[2] / 1e6; reader = f[3]; s = f[5]; peak = f[7] / 1024; start = f[9] / 1024
        model = f[11] / 1048576
        ratio = (kind in tiny) && s > 0 ? sprintf("%.2f", tiny[kind] / s) : "-"
        modelText = model > 0 ? sprintf("%.1f", model) : "-"
        overText = model > 0 ? sprintf("%.1f", peak - model) : "-"
        printf "%-20s %8.1f  %-13s %8.3f %8.1f %9s %9.1f %9.1f %9s %10s\n", name[kind], mb, reader, s, mb / s,
               ratio, peak, start, modelText, overText
    }
    print ""
    split("vtn v quad", order, " ")
    for (k = 1; k <= 3; k++) {
        kind = order[k]
        if (!(kind in tiny) || !(kind in zel)) continue
        r = tiny[kind] / zel[kind]
        printf "target %-20s zel %.2fx tinyobjloader (target >= %sx): %s\n", name[kind], r, target[kind],
               (r >= target[kind] ? "met" : "NOT met")
    }
    print "memory target: zel peak - model <= 16 MiB (peak includes the process start, see start MiB)"
}' "$results"
