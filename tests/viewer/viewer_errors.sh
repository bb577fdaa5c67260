#!/usr/bin/env bash
# zelview's exits before any window: usage errors (status 2, usage on standard error), --help
# (status 0), and files the library cannot read (its own line, status 1). No display is needed or
# used for any of them.
source "$(dirname "$0")/viewer-lib.sh"
unset DISPLAY
cd "$WORK"

# run NAME ARGS...: runs zelview; sets STATUS, and leaves NAME.out and NAME.err.
run() {
    local name=$1
    shift
    timeout 20 "$ZELVIEW" "$@" >"$name.out" 2>"$name.err"
    STATUS=$?
}
# expect NAME STATUS FILE TEXT: the run ended with STATUS and FILE (out or err) is exactly TEXT.
expect() {
    local text
    text=$(cat "$1.$3")
    [[ $STATUS == "$2" ]] || fail "$1: exit status $STATUS, expected $2 ($(cat "$1.err"))"
    [[ $text == "$4" ]] || fail "$1: standard $3 is '$text', expected '$4'"
}

run no-args
[[ $STATUS == 2 ]] || fail "no arguments: exit status $STATUS, expected 2"
[[ $(head -n1 no-args.err) == "zelview: no model file given" ]] || fail "no arguments: $(head -n1 no-args.err)"
grep -qx 'usage: zelview \[--documented\] FILE.obj \[TEXTURE.ppm\]' no-args.err || fail "no arguments: no usage line"
[[ ! -s no-args.out ]] || fail "no arguments: standard output is not empty"

run too-many a.obj b.ppm c
[[ $STATUS == 2 && $(head -n1 too-many.err) == "zelview: too many arguments" ]] ||
    fail "three arguments: status $STATUS, $(head -n1 too-many.err)"
run option -x a.obj
[[ $STATUS == 2 && $(head -n1 option.err) == "zelview: unknown option -x" ]] ||
    fail "unknown option: status $STATUS, $(head -n1 option.err)"

run help --help
[[ $STATUS == 0 ]] || fail "--help: exit status $STATUS"
grep -qx 'usage: zelview \[--documented\] FILE.obj \[TEXTURE.ppm\]' help.out || fail "--help: no usage on standard output"
[[ ! -s help.err ]] || fail "--help: standard error is not empty"

run missing-model missing.obj
expect missing-model 1 err "zelReadOBJ() failed: can't open data file \"missing.obj\"."
[[ ! -s missing-model.out ]] || fail "missing model: standard output is not empty"

printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n' >bad-index.obj
run bad-index bad-index.obj
expect bad-index 1 err "zelReadOBJ() failed: \"bad-index.obj\" line 4: vertex index 4 does not name one of the file's 3 vertices."
[[ ! -s bad-index.out ]] || fail "bad index: standard output is not empty"

cp "$OLDPWD/data/abort.obj" ship.obj
run missing-image ship.obj missing.ppm
expect missing-image 1 err "missing.ppm: No such file or directory"

printf 'P3\n1 1\n255\n0 0 0\n' >plain.ppm
run not-raw ship.obj plain.ppm
expect not-raw 1 err "plain.ppm: Not a raw PPM file"
echo "PASS"
