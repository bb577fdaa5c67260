#!/usr/bin/env bash
# Soak test of the real scene: random keys, arrow keys and mouse drags for a while, with the
# program's resident memory sampled as it runs. Fails if the program stops, or if its memory grows:
# the last sample may exceed the sample taken after the warm-up by at most SOAK_MAX_GROWTH_KIB
# (default 4096 KiB).
#
#     tests/soak/soak.sh PATH/TO/tarvossa SECONDS [SEED]
#
# Run from the repository root (the program reads data/ from its working directory). Starts its
# own Xvfb. Prints every sample ("t=SECONDS rss=KIB"), the warm-up and last figures and how much
# input was sent. SOAK_INTERVAL sets the seconds between samples (default: 2 for runs up to a
# minute, 10 beyond).
set -u
source "$(dirname "$0")/../../scripts/xvfb-lib.sh"

(($# >= 2)) || {
    echo "usage: $0 PATH/TO/tarvossa SECONDS [SEED]" >&2
    exit 2
}
TARVOSSA=$(realpath "$1")
SECONDS_TOTAL=$2
SEED=${3:-$$}
MAX_GROWTH_KIB=${SOAK_MAX_GROWTH_KIB:-4096}
if ((SECONDS_TOTAL <= 60)); then INTERVAL=${SOAK_INTERVAL:-2}; else INTERVAL=${SOAK_INTERVAL:-10}; fi
# Memory settles once every model is read and the renderer has compiled what it needs.
WARMUP=$((SECONDS_TOTAL / 4 < 10 ? SECONDS_TOTAL / 4 : 10))

WORK=$(mktemp -d)
APP_PID=""
finish() {
    stop_pid "$APP_PID"
    xvfb_stop
    rm -rf "$WORK"
}
trap finish EXIT

fail() {
    echo "FAIL: $*" >&2
    if [[ -s $WORK/stderr ]]; then
        echo "program's standard error:" >&2
        head -n 20 "$WORK/stderr" >&2
    fi
    exit 1
}

rss_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$APP_PID/status" 2>/dev/null
}

xdo() {
    timeout 10 xdotool "$@" >/dev/null 2>&1 || running "$APP_PID" || fail "the program exited"
}

KEYS=(a w z x Up Down Left Right q b 1 space Return Escape Tab Page_Up F1 Home)
keys_sent=0
drags=0

random_key() {
    xdo key "${KEYS[RANDOM % ${#KEYS[@]}]}"
    keys_sent=$((keys_sent + 1))
}

# A drag with the left button mostly, now and then with the middle or right one.
random_drag() {
    local button=1 i
    ((RANDOM % 5 == 0)) && button=$((2 + RANDOM % 2))
    xdo mousemove --window "$WID" $((50 + RANDOM % 1100)) $((50 + RANDOM % 900)) mousedown "$button"
    for ((i = 0; i < 4; i++)); do
        xdo mousemove --window "$WID" $((50 + RANDOM % 1100)) $((50 + RANDOM % 900))
        sleep 0.02
    done
    xdo mouseup "$button"
    drags=$((drags + 1))
}

RANDOM=$SEED
echo "soak: ${SECONDS_TOTAL} s of random input (seed $SEED), memory sampled every ${INTERVAL} s," \
    "warm-up ${WARMUP} s, allowed growth ${MAX_GROWTH_KIB} KiB"
xvfb_start || fail "Xvfb did not start"
"$TARVOSSA" >"$WORK/stdout" 2>"$WORK/stderr" &
APP_PID=$!
WID=$(wait_window Tarvossa)
[[ -n $WID ]] || fail "no Tarvossa window within 10 s"
xdo mousemove --window "$WID" 600 500

start=$(date +%s)
next_sample=$start
warm_rss=""
samples=()
while :; do
    now=$(date +%s)
    elapsed=$((now - start))
    running "$APP_PID" || fail "the program exited after ${elapsed} s"
    if ((now >= next_sample)); then
        rss=$(rss_kib)
        [[ -n $rss ]] || fail "no VmRSS for the program"
        samples+=("$rss")
        echo "t=${elapsed} rss=${rss}"
        if [[ -z $warm_rss ]] && ((elapsed >= WARMUP)); then warm_rss=$rss; fi
        next_sample=$((next_sample + INTERVAL))
    fi
    ((elapsed >= SECONDS_TOTAL)) && break
    if ((RANDOM % 10 < 8)); then random_key; else random_drag; fi
    # The pointer may have left the window during a drag; keys go where the pointer is.
    ((RANDOM % 4 == 0)) && xdo mousemove --window "$WID" 600 500
    sleep 0.03
done

last_rss=$(rss_kib)
[[ -n $last_rss ]] || fail "the program exited at the end"
[[ -n $warm_rss ]] || warm_rss=${samples[0]}
echo "t=$(($(date +%s) - start)) rss=${last_rss} (last)"
max_rss=$last_rss
for rss in "${samples[@]}"; do ((rss > max_rss)) && max_rss=$rss; done
growth=$((last_rss - warm_rss))
echo "rss after warm-up ${warm_rss} KiB, last ${last_rss} KiB, growth ${growth} KiB," \
    "highest ${max_rss} KiB; ${keys_sent} keys and ${drags} drags sent"
((growth <= MAX_GROWTH_KIB)) || fail "resident memory grew by ${growth} KiB (limit ${MAX_GROWTH_KIB})"
echo "PASS"
