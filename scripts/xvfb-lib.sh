# Shell helpers for running the scene in a virtual X server and looking at its pixels.
# Sourced by scripts/run-scene and the end-to-end tests (tests/e2e/); not a program of its own.
#
# What the helpers rely on (Mesa llvmpipe under Xvfb, no window manager):
#  - Xvfb picks a free display itself with -displayfd; -noreset keeps it from resetting when its
#    last client leaves.
#  - import waits for a mouse click for ever when it has no valid window: every helper that looks for
#    the window or takes a picture runs under a timeout.
#  - Focus follows the pointer: keys go to the window after a mousemove into it.
#  - Background jobs of a non-interactive shell ignore SIGINT: programs are stopped with SIGTERM.
#  - Rendering is not antialiased, so the scene's colours are exact in a screenshot.

XVFB_PID=""
XVFB_DISPLAY_FILE=""

# im_convert ARGS...: the real ImageMagick convert (whatever stands earlier on PATH), under a timeout.
im_convert() {
    timeout 60 /usr/bin/convert "$@"
}

# xvfb_start: starts Xvfb on a free display and exports DISPLAY. Returns 1 if it does not come up
# within 10 seconds.
xvfb_start() {
    XVFB_DISPLAY_FILE=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$XVFB_DISPLAY_FILE" \
        >/dev/null 2>&1 &
    XVFB_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        if [[ -s $XVFB_DISPLAY_FILE ]] && grep -q '^[0-9]' "$XVFB_DISPLAY_FILE"; then
            export DISPLAY=":$(head -n1 "$XVFB_DISPLAY_FILE" | tr -dc 0-9)"
            if timeout 5 xdpyinfo >/dev/null 2>&1; then
                return 0
            fi
        fi
        if ! running "$XVFB_PID"; then
            echo "xvfb-lib: Xvfb exited at start-up" >&2
            return 1
        fi
        sleep 0.1
    done
    echo "xvfb-lib: Xvfb did not come up within 10 s" >&2
    return 1
}

# xvfb_stop: stops the server started by xvfb_start (if any).
xvfb_stop() {
    stop_pid "$XVFB_PID"
    XVFB_PID=""
    if [[ -n $XVFB_DISPLAY_FILE ]]; then rm -f "$XVFB_DISPLAY_FILE"; fi
    XVFB_DISPLAY_FILE=""
    return 0
}

# running PID: true while the process exists and has not exited (a child that exited but was not
# reaped yet is a zombie, which kill -0 still reports as there).
running() {
    local state
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)
    [[ -n $state && $state != Z ]]
}

# stop_pid PID: ends a program we started, with SIGTERM (SIGKILL if it is still there after 5 s),
# and reaps it.
stop_pid() {
    local pid=${1:-} i
    [[ -z $pid ]] && return 0
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        running "$pid" || break
        sleep 0.1
    done
    if running "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
    wait "$pid" 2>/dev/null || true
    return 0
}

# wait_window TITLE: prints the id of the first window with exactly this title, waiting up to 10 s.
wait_window() {
    timeout 10 xdotool search --sync --name "^$1\$" 2>/dev/null | head -n1
}

# screenshot WID FILE: saves the window's picture as PNG.
screenshot() {
    timeout 10 import -window "$1" "$2"
}

# Test sessions (the end-to-end scripts): session_begin makes a scratch directory $WORK and, on
# exit, stops the program in $APP_PID and the X server and removes the directory.
session_begin() {
    WORK=$(mktemp -d)
    APP_PID=""
    WID=""
    trap session_end EXIT
}

session_end() {
    stop_pid "$APP_PID"
    xvfb_stop
    rm -rf "$WORK"
}

# fail MESSAGE: ends a test script with the message.
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# start_app TITLE_PATTERN X Y PROGRAM [ARG...]: a fresh Xvfb with the program in it (its output in
# $WORK/stdout and $WORK/stderr); sets APP_PID and WID, and puts the pointer at (X, Y) in the window
# so that keys reach it.
start_app() {
    local pattern=$1 x=$2 y=$3
    shift 3
    xvfb_start || fail "Xvfb did not start"
    "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
    APP_PID=$!
    WID=$(timeout 10 xdotool search --sync --name "$pattern" 2>/dev/null | head -n1)
    [[ -n $WID ]] || fail "no window '$pattern' within 10 s ($(cat "$WORK/stderr"))"
    timeout 10 xdotool mousemove --window "$WID" "$x" "$y" || fail "xdotool mousemove"
}

# shot NAME: a screenshot of the window $WID into $WORK/NAME.png; prints the path.
shot() {
    screenshot "$WID" "$WORK/$1.png" || fail "screenshot $1"
    echo "$WORK/$1.png"
}

# colour_count FILE HEX [GEOMETRY]: number of pixels of colour HEX (e.g. 00FF00), in the whole
# picture or in the region GEOMETRY (WxH+X+Y).
colour_count() {
    local crop=()
    [[ -n ${3:-} ]] && crop=(-crop "$3" +repage)
    im_convert "$1" "${crop[@]}" -format %c histogram:info:- 2>/dev/null |
        awk -v hex="#$2" 'toupper($0) ~ toupper(hex)" " { sub(":", "", $1); n += $1 } END { print n + 0 }'
}

# colour_box FILE HEX: "count minx miny maxx maxy sumx sumy" of the pixels of colour HEX.
colour_box() {
    im_convert "$1" -fill black +opaque "#$2" -transparent black sparse-color:- 2>/dev/null |
        tr ' ' '\n' | _xlib_box_stats
}

# nonblack_box FILE: "count minx miny maxx maxy" of the pixels that are not black.
nonblack_box() {
    im_convert "$1" -transparent black sparse-color:- 2>/dev/null |
        tr ' ' '\n' | _xlib_box_stats | cut -d' ' -f1-5
}

# Reads "x,y,colour" lines; prints "count minx miny maxx maxy sumx sumy".
_xlib_box_stats() {
    awk -F, 'NF >= 3 {
            x = $1; y = $2
            if (n == 0 || x < x0) x0 = x; if (n == 0 || x > x1) x1 = x
            if (n == 0 || y < y0) y0 = y; if (n == 0 || y > y1) y1 = y
            sx += x; sy += y; n++
        }
        END { printf "%d %d %d %d %d %d %d\n", n, x0, y0, x1, y1, sx, sy }'
}

# pixel_diff A B: number of pixels that differ between two pictures of the same size.
pixel_diff() {
    im_convert "$1" "$2" -compose difference -composite -threshold 0 -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# project X Y Z: prints the window pixel "px py" where the scene point (X, Y, Z) appears in the
# start view of the 1200 x 1000 window: eye (1.5, 0, 5) looking along -z, the scene turned 20
# degrees about x, 55 about y and 10 about (1, 1, 0), scaled by 0.06, a 60-degree perspective.
project() {
    awk -v X="$1" -v Y="$2" -v Z="$3" 'BEGIN {
        pi = atan2(0, -1); s = 0.06
        # 10 degrees about (1, 1, 0)/sqrt(2)
        c = cos(10 * pi / 180); n = sin(10 * pi / 180); u = 1 / sqrt(2)
        x = X * s; y = Y * s; z = Z * s
        x1 = (c + u*u*(1-c)) * x + (u*u*(1-c)) * y + (u*n) * z
        y1 = (u*u*(1-c)) * x + (c + u*u*(1-c)) * y - (u*n) * z
        z1 = -(u*n) * x + (u*n) * y + c * z
        # 55 degrees about y, then 20 about x
        a = 55 * pi / 180; x2 = cos(a) * x1 + sin(a) * z1; z2 = -sin(a) * x1 + cos(a) * z1; y2 = y1
        b = 20 * pi / 180; y3 = cos(b) * y2 - sin(b) * z2; z3 = sin(b) * y2 + cos(b) * z2; x3 = x2
        # the eye
        x3 -= 1.5; z3 -= 5
        f = 1 / (sin(pi / 6) / cos(pi / 6)); aspect = 1200 / 1000
        nx = f / aspect * x3 / -z3; ny = f * y3 / -z3
        printf "%d %d\n", (nx + 1) / 2 * 1200, (1 - ny) / 2 * 1000
    }'
}
