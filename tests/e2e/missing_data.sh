#!/usr/bin/env bash
# Started in a folder without data/, the program ends in its first frame with exit status 1 and the
# reader's line on standard error.
source "$(dirname "$0")/e2e-lib.sh"
xvfb_start || fail "Xvfb did not start"
mkdir "$WORK/empty"
(cd "$WORK/empty" && timeout -s TERM 20 "$TARVOSSA" >"$WORK/stdout" 2>"$WORK/stderr")
status=$?
echo "exit status $status; standard error:"
cat "$WORK/stderr"
((status == 1)) || fail "expected exit status 1, got $status"
printf 'zelReadOBJ() failed: can'"'"'t open data file "data/f-16.obj".\n' >"$WORK/expected"
cmp -s "$WORK/expected" "$WORK/stderr" || fail "standard error is not exactly the reader's line"
[[ ! -s $WORK/stdout ]] || fail "unexpected standard output: $(cat "$WORK/stdout")"
echo "PASS"
