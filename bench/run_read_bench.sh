#!/usr/bin/env bash
# The reader benchmark: zelReadOBJ against fast_obj, rapidobj, tinyobjloader and assimp on three
# ~100 MB OBJ files as exporters write them, (a) v/vt/vn with "f a/b/c" triangles, (b) v only with
# "f a b c", (c) v/vt/vn quads; and (d), the model of (a) with a colour on every vertex.
#
#   bench/run_read_bench.sh [build-dir] [data-dir]
#
# build-dir (default: build) must hold bench/gen_obj and bench/bench_read_one (configure with
# -DZEL_BUILD_BENCH=ON; fast_obj and rapidobj are there when ../shared/peers was found). The files
# are generated into data-dir (default: /tmp/zel-read-bench) unless they are there already.
#
# Every read is a fresh process (bench_read_one), stopped after TIMEOUT. Each file is read in RUNS
# rounds; a round reads the file through (so that it is warm in the page cache), then runs every
# reader once, in turn (in reverse order every other round, so that no row always runs first after
# the read-through), so that a disturbance from other load is shared out among them. The table
# gives the medians of the seconds and of the peaks. The rows:
#
#   zel, fast_obj, rapidobj, tinyobjloader, assimp   with every processor the script may use
#   zel@1, fast_obj@1                                 the same reader under taskset, on one processor
#
#   base, base@1                                      zel as built elsewhere (BASELINE below)
#
# and, once the table is printed, zel's targets: at least 1.5x fast_obj's speed, zel@1 at least as
# fast as fast_obj@1, and a peak resident size at most 16 MiB above its model's bytes; zel against
# the baseline when there is one; and what the colours of (d) cost over (a), at most 15%. "x fast_obj"
# is the row's time over fast_obj's on the same file (the @1 rows over fast_obj@1's), so below 1
# is faster. "peak-model" is the peak resident size of the whole process less the bytes of zel's
# model of that file: the data any reader has to hold, the same figure for every row. The peak
# includes what the process held before reading (its libraries; start_kib in bench_read_one's
# line). "faces" is each reader's own count, as a sanity figure: triangles, but the polygons as
# written for fast_obj and rapidobj.
#
# Environment:
#   READERS    the rows to run, from the list above plus "reference" (the tests' stdio reader),
#              "zel-whole" and "zel-concave" (zel under ZEL_LOAD_WHOLE_KEYWORDS or
#              ZEL_LOAD_CONCAVE_POLYGONS) and
#              "<reader>@1" for any reader; default "zel zel@1 fast_obj fast_obj@1 rapidobj
#              tinyobjloader assimp", less those this build lacks
#   RUNS       rounds (default 5)
#   MEGABYTES  size of the generated files (default 100)
#   FILES      OBJ files to read instead of the generated ones, separated by spaces; e.g. a one-off
#              on a large file:  FILES=/data/big.obj READERS="zel fast_obj" RUNS=1 bench/run_read_bench.sh
#   TIMEOUT    seconds one read may take before it is stopped and counted as failed (default 600)
#   BASELINE   another build's bench_read_one, whose zel reader becomes the rows "base" and
#              "base@1" (added to the default rows), e.g. the build of the commit before a change
#   BASELINE_COMMIT
#              a commit of this repository to build as BASELINE: its tree is exported with
#              git archive into BASELINE_DIR (default /tmp/zel-baseline-<commit>), configured with
#              -DZEL_BUILD_BENCH=ON and only its bench_read_one is built (kept for later runs), e.g.
#              BASELINE_COMMIT=8fb15da READERS="zel base zel@1 base@1 fast_obj fast_obj@1"
set -euo pipefail

build=${1:-build}
data=${2:-/tmp/zel-read-bench}
runs=${RUNS:-5}
megabytes=${MEGABYTES:-100}
limit=${TIMEOUT:-600}
gen="$build/bench/gen_obj"
if [[ -n ${BASELINE_COMMIT:-} ]]; then
    [[ -z ${BASELINE:-} ]] || { echo "give BASELINE or BASELINE_COMMIT, not both" >&2; exit 2; }
    repo=$(cd "$(dirname "$0")/.." && pwd)
    commit=$(git -C "$repo" rev-parse --verify --short "$BASELINE_COMMIT^{commit}") ||
        { echo "no commit \"$BASELINE_COMMIT\" in $repo" >&2; exit 2; }
    scratch=${BASELINE_DIR:-/tmp/zel-baseline-$commit}
    if [[ ! -x "$scratch/build/bench/bench_read_one" ]]; then
        echo "building $commit's bench_read_one in $scratch" >&2
        rm -rf "$scratch/source"
        mkdir -p "$scratch/source"
        git -C "$repo" archive "$commit" | tar -x -C "$scratch/source"
        # Its own zel reader is all the baseline rows run: no peers.
        cmake -S "$scratch/source" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DZEL_BUILD_BENCH=ON -DZEL_BENCH_PEERS_DIR="$scratch/no-peers" > "$scratch/cmake.log" ||
            { echo "configuring $commit failed: see $scratch/cmake.log" >&2; exit 1; }
        cmake --build "$scratch/build" -j"$(nproc)" --target bench_read_one > "$scratch/build.log" ||
            { echo "building $commit failed: see $scratch/build.log" >&2; exit 1; }
    fi
    BASELINE="$scratch/build/bench/bench_read_one"
fi
one="$build/bench/bench_read_one"
programs=("$one")
[[ -n ${FILES:-} ]] || programs+=("$gen")
[[ -n ${BASELINE:-} ]] && programs+=("$BASELINE")
for program in "${programs[@]}"; do
    if [[ ! -x "$program" ]]; then
        echo "missing $program: build with -DZEL_BUILD_BENCH=ON first" >&2
        exit 1
    fi
done

# The rows, less the readers this build does not have.
built=$("$one" --readers) || { echo "$one does not list its readers: rebuild it" >&2; exit 1; }
readers=()
default_rows="zel zel@1 fast_obj fast_obj@1 rapidobj tinyobjloader assimp"
[[ -n ${BASELINE:-} ]] && default_rows="zel base zel@1 base@1 fast_obj fast_obj@1 rapidobj tinyobjloader assimp"
[[ -n ${BASELINE:-} ]] && built=$(printf '%s\nbase' "$built")
for row in ${READERS:-$default_rows}; do
    reader=${row%@1}
    if [[ $reader == *@* ]]; then
        echo "unknown row \"$row\": only \"@1\" may follow a reader's name" >&2
        exit 2
    fi
    if grep -qx -- "$reader" <<< "$built"; then
        readers+=("$row")
    else
        echo "skipping $row: $one has no reader \"$reader\"" >&2
    fi
done
if ((${#readers[@]} == 0)); then
    echo "no readers to run" >&2
    exit 1
fi
# The @1 rows run on the first processor this script may use (0 on most machines).
cpu=$(taskset -cp $$ | sed 's/.*: *//; s/[-,].*//')

results=$(mktemp)
labels=$(mktemp)
partial=""
trap 'rm -f "$results" "$labels" $partial' EXIT

# Waits while another process is still writing the file (it changed in the last few seconds).
wait_written() {
    local file=$1 waited=0
    while [[ -e "$file" ]] && (($(date +%s) - $(stat -c %Y "$file") < 5)); do
        ((waited == 0)) && echo "waiting for $file to be written" >&2
        sleep 2
        waited=$((waited + 2))
        if ((waited > 900)); then
            echo "$file is still changing after ${waited}s; give another data-dir" >&2
            exit 1
        fi
    done
}

paths=()
if [[ -n ${FILES:-} ]]; then
    for file in $FILES; do
        [[ -r "$file" ]] || { echo "can't read $file" >&2; exit 1; }
        printf '%d\t%s\n' ${#paths[@]} "$(basename "$file")" >> "$labels"
        paths+=("$file")
    done
else
    declare -A label=([vtn]="a: v/t/n triangles" [v]="b: v triangles" [quad]="c: v/t/n quads"
                      [vtnc]="d: (a) with colours")
    mkdir -p "$data"
    for kind in vtn v quad vtnc; do
        file="$data/$kind-$megabytes.obj"
        wait_written "$file"
        if [[ ! -s "$file" ]]; then
            # Written under another name and renamed, so that a half-written file is never read.
            partial="$file.part.$$"
            "$gen" "$kind" "$partial" "$megabytes" >&2
            mv "$partial" "$file"
            partial=""
        fi
        printf '%d\t%s\n' ${#paths[@]} "${label[$kind]}" >> "$labels"
        paths+=("$file")
    done
fi

echo "${#readers[@]} readers, $runs rounds; every processor = $(nproc); @1 = taskset -c $cpu" >&2
for index in "${!paths[@]}"; do
    file=${paths[index]}
    size=$(stat -c %s "$file")
    for ((round = 1; round <= runs; round++)); do
        echo "round $round/$runs: $file" >&2
        cat "$file" > /dev/null   # keep it in the page cache
        order=("${readers[@]}")
        if ((round % 2 == 0)); then
            order=()
            for ((i = ${#readers[@]} - 1; i >= 0; i--)); do order+=("${readers[i]}"); done
        fi
        for row in "${order[@]}"; do
            command=("$one" "${row%@1}" "$file")
            [[ ${row%@1} == base ]] && command=("$BASELINE" zel "$file")
            [[ $row == *@1 ]] && command=(taskset -c "$cpu" "${command[@]}")
            if line=$(timeout "$limit" "${command[@]}"); then
                echo "$index $size $row $line" >> "$results"
            else
                status=$?
                ((status == 124)) && why="timed out after ${limit}s" || why="exit status $status"
                echo "$row failed on $file: $why" >&2
                echo "$index $size $row failed" >> "$results"
            fi
        done
    done
done

# Lines of $results: <file index> <bytes> <row> <reader> seconds <s> peak_kib <k> start_kib <k>
# model_bytes <b> faces <n>, or <file index> <bytes> <row> failed.
awk -v runs="$runs" '
function median(list, n,    a, i, j, t) {
    split(list, a, " ")
    for (i = 1; i <= n; i++) a[i] += 0
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
FNR == NR {   # the labels file: <file index> TAB <label>
    split($0, kv, "\t"); name[kv[1]] = kv[2]
    if (length(kv[2]) > width) width = length(kv[2])
    next
}
{
    file = $1; row = $3; key = file SUBSEP row
    if (!(file in size)) { size[file] = $2; files[++filecount] = file }
    if (!(key in tried)) { order[file, ++rowcount[file]] = row }
    tried[key]++
    if ($4 == "failed") next
    for (k = 5; k < NF; k += 2) value[$k] = $(k + 1)
    ok[key]++
    seconds[key] = seconds[key] " " value["seconds"]
    peak[key] = peak[key] " " value["peak_kib"]
    faces[key] = value["faces"]
    if ((row == "zel" || row == "zel@1") && !(file in model)) model[file] = value["model_bytes"]
    if (row == "zel" && index(name[file], "d:") == 1) colored = file
    if (row == "zel" && index(name[file], "a:") == 1) plain = file
}
END {
    if (width < 4) width = 4
    label = "%-" width "s"
    printf label "  %-13s %8s %8s %10s %9s %11s %11s\n", "file", "reader", "seconds", "MB/s",
           "x fast_obj", "peak MiB", "peak-model", "faces"
    for (f = 1; f <= filecount; f++) {
        file = files[f]
        for (r = 1; r <= rowcount[file]; r++) {   # medians first: the ratios need them
            row = order[file, r]; key = file SUBSEP row
            if (!ok[key]) continue
            med[key] = median(seconds[key], ok[key])
            peakBytes[key] = median(peak[key], ok[key]) * 1024
        }
        for (r = 1; r <= rowcount[file]; r++) {
            row = order[file, r]; key = file SUBSEP row
            if (!ok[key]) {
                printf label "  %-13s   failed in all %d runs\n", name[file], row, tried[key]
                continue
            }
            s = med[key]; p = peakBytes[key]
            base = file SUBSEP (row ~ /@1$/ ? "fast_obj@1" : "fast_obj")
            ratio = (base in med) && med[base] > 0 ? sprintf("%.2f", s / med[base]) : "-"
            over = (file in model) ? sprintf("%.1f", (p - model[file]) / 1048576) : "-"
            note = ok[key] < tried[key] ? sprintf("  (%d of %d runs)", ok[key], tried[key]) : ""
            printf label "  %-13s %8.3f %8.1f %10s %9.1f %11s %11s%s\n", name[file], row, s,
                   (s > 0 ? size[file] / 1e6 / s : 0), ratio, p / 1048576, over, faces[key], note
        }
    }
    print ""
    for (f = 1; f <= filecount; f++) {
        file = files[f]
        zel = file SUBSEP "zel"; zel1 = file SUBSEP "zel@1"
        fast = file SUBSEP "fast_obj"; fast1 = file SUBSEP "fast_obj@1"
        if ((zel in med) && (fast in med) && med[zel] > 0) {
            x = med[fast] / med[zel]
            printf "target " label "  zel %.2fx fast_obj\047s speed (>= 1.5x): %s\n", name[file], x,
                   (x >= 1.5 ? "met" : "NOT met")
        }
        if ((zel1 in med) && (fast1 in med) && med[zel1] > 0) {
            x = med[fast1] / med[zel1]
            printf "target " label "  zel@1 %.2fx fast_obj@1\047s speed (>= 1.0x): %s\n", name[file], x,
                   (x >= 1.0 ? "met" : "NOT met")
        }
        if ((zel in med) && (file in model)) {
            over = (peakBytes[zel] - model[file]) / 1048576
            printf "target " label "  zel peak - model %.1f MiB (<= 16 MiB): %s\n", name[file], over,
                   (over <= 16 ? "met" : "NOT met")
        }
        for (suffix = 0; suffix < 2; suffix++) {
            z = file SUBSEP (suffix ? "zel@1" : "zel"); b = file SUBSEP (suffix ? "base@1" : "base")
            if ((z in med) && (b in med) && med[b] > 0)
                printf "versus " label "  %s %.3f s against base %.3f s: %.2fx its time\n",
                       name[file], (suffix ? "zel@1" : "zel"), med[z], med[b], med[z] / med[b]
        }
    }
    if (colored != "" && plain != "") {
        for (suffix = 0; suffix < 2; suffix++) {
            row = suffix ? "zel@1" : "zel"
            c = colored SUBSEP row; p = plain SUBSEP row
            if ((c in med) && (p in med) && med[p] > 0) {
                cost = (med[c] / med[p] - 1) * 100
                printf "target colours: %s reads (d) in %.3f s, (a) in %.3f s: %+.1f%% (<= 15%%): %s\n",
                       row, med[c], med[p], cost, (cost <= 15 ? "met" : "NOT met")
            }
        }
    }
}' "$labels" "$results"
