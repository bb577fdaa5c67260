#!/usr/bin/env bash
# Runs every row of the bad-input matrix in docs/robustness.md and checks what the user sees.
#
#     matrix_test.sh ZELOBJ PPM_PROBE LOAD_PROBE DOC CASES_DIR
#
# The matrix is read from the document itself, so the table and the test cannot drift apart. A row
# is a table line that starts with a number:
#
#     | N | what the input is | `case path` | `zelobj info`, `zelLoadPPM` or `load_probe ...` | exit | outcome |
#
# The case path is relative to CASES_DIR (it may name a file that does not exist, or a path through
# a regular file, or one of the large files under generated/ that this script writes). The reader
# may carry arguments (`zelobj info --flag`, `load_probe --limit 160`); with ZEL_MATRIX_NO_LIMITS
# set (the sanitizer build) the rows with --limit are skipped. Each program runs in a copy of CASES_DIR with the case path as its argument, so
# the paths in diagnostics are the ones in the table. The outcome is a list of items separated by
# "; ":
#     stderr `LINE`      standard error is exactly LINE and a line end
#     stdout `LINE`      standard output has a line that is exactly LINE
#     shows `TEXT`       standard output has a line that contains TEXT
#     NAME N, NAME N     standard output has the line "NAME: N" for each pair (zelobj info's counts,
#                        ppm_probe's width and height)
# Without a stderr item, standard error must be empty.
#
# Then every OBJ row that ends the process (exit 1 with a stderr or stdout line) is loaded once more,
# all in one process, with zelLoadOBJ (LOAD_PROBE), which must return each failure with that line as
# its message, print nothing itself, and go on.
set -u
ZELOBJ=$(realpath "$1")
PPM_PROBE=$(realpath "$2")
LOAD_PROBE=$(realpath "$3")
DOC=$4
CASES=$5

WORK=$(mktemp -d "${TMPDIR:-/tmp}/zel-matrix-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cp -r "$CASES" "$WORK/cases"
# Inputs too large to commit: one face of 3,000,000 references, and 1,000,000 triangles.
mkdir -p "$WORK/cases/generated"
{ printf 'v 0 0 0\nf'; yes ' 1' | head -n 3000000 | tr -d '\n'; printf '\n'; } \
    >"$WORK/cases/generated/long_face.obj"
{ printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\n'; yes 'f 1 2 3' | head -n 1000000; } \
    >"$WORK/cases/generated/many_faces.obj"
skipped=0

rows=0
failures=0
failing_paths=()
failing_lines=()
fail() {
    echo "FAIL row $number ($path): $*"
    failures=$((failures + 1))
}

# The text between the first pair of backticks in $1.
code() {
    local text=${1#*\`}
    printf '%s' "${text%%\`*}"
}

trim() {
    local text=$1
    text=${text#"${text%%[![:space:]]*}"}
    printf '%s' "${text%"${text##*[![:space:]]}"}"
}

check_outcome() {
    local outcome=$1 stdout=$2 stderr=$3 item name value pair expected_stderr=""
    local -a items pairs
    local have_stderr=0
    # Items are separated by "; " outside backticks; the code spans hold no "; ".
    IFS=$'\x1f' read -r -a items <<<"${outcome//; /$'\x1f'}"
    for item in "${items[@]}"; do
        item=$(trim "$item")
        case $item in
            stderr\ \`*)
                have_stderr=1
                expected_stderr=$(code "$item")
                [[ $(cat "$stderr") == "$expected_stderr" ]] ||
                    fail "stderr is \"$(cat "$stderr")\", expected \"$expected_stderr\""
                [[ $(tail -c1 "$stderr" | od -An -c | tr -d ' ') == '\n' ]] ||
                    fail "stderr does not end with a line end"
                [[ $(wc -l <"$stderr") -eq 1 ]] || fail "stderr has $(wc -l <"$stderr") lines"
                ;;
            stdout\ \`*)
                grep -qxF -- "$(code "$item")" "$stdout" ||
                    fail "no stdout line \"$(code "$item")\""
                ;;
            shows\ \`*)
                grep -qF -- "$(code "$item")" "$stdout" ||
                    fail "no stdout line containing \"$(code "$item")\""
                ;;
            *)
                IFS=',' read -r -a pairs <<<"$item"
                for pair in "${pairs[@]}"; do
                    read -r name value <<<"$pair"
                    if [[ -z $name || ! $value =~ ^[0-9]+$ ]]; then
                        fail "cannot read the outcome item \"$pair\""
                        continue
                    fi
                    grep -qx "$name: $value" "$stdout" ||
                        fail "expected \"$name: $value\", stdout has \"$(grep "^$name:" "$stdout")\""
                done
                ;;
        esac
    done
    if ((!have_stderr)) && [[ -s $stderr ]]; then
        fail "unexpected stderr \"$(head -c 300 "$stderr")\""
    fi
}

while IFS= read -r line; do
    [[ $line =~ ^\|[[:space:]]*[0-9]+[[:space:]]*\| ]] || continue
    IFS='|' read -r _ number _ path reader status outcome _ <<<"$line"
    number=$(trim "$number")
    path=$(code "$path")
    reader=$(code "$reader")
    status=$(trim "$status")
    outcome=$(trim "$outcome")
    rows=$((rows + 1))
    read -r -a arguments <<<"$reader"
    case $reader in
        "zelobj info"*) command=("$ZELOBJ" "${arguments[@]:1}" "$path") ;;
        zelLoadPPM) command=("$PPM_PROBE" "$path") ;;
        load_probe*)
            if [[ -n ${ZEL_MATRIX_NO_LIMITS:-} && $reader == *--limit* ]]; then
                skipped=$((skipped + 1))
                continue
            fi
            command=("$LOAD_PROBE" "${arguments[@]:1}" "$path")
            ;;
        *)
            fail "unknown reader \"$reader\""
            continue
            ;;
    esac
    (cd "$WORK/cases" && timeout 60 "${command[@]}" >"$WORK/stdout" 2>"$WORK/stderr")
    actual=$?
    [[ $actual == "$status" ]] || fail "exit status $actual, expected $status"
    check_outcome "$outcome" "$WORK/stdout" "$WORK/stderr"
    if [[ $reader == "zelobj info" && $status == 1 && $outcome =~ ^(stderr|stdout)\ \` ]]; then
        failing_paths+=("$path")
        failing_lines+=("$(code "$outcome")")
    fi
done <"$DOC"

number="zelLoadOBJ"
path="${#failing_paths[@]} failing OBJ rows"
(cd "$WORK/cases" && timeout 60 "$LOAD_PROBE" "${failing_paths[@]}" >"$WORK/stdout" 2>"$WORK/stderr")
[[ $? == 0 ]] || fail "the process did not go on"
[[ -s $WORK/stderr ]] && fail "zelLoadOBJ printed \"$(head -c 300 "$WORK/stderr")\""
mapfile -t loaded <"$WORK/stdout"
((${#loaded[@]} == ${#failing_paths[@]} + 1)) && [[ ${loaded[-1]} == "went on" ]] ||
    fail "expected ${#failing_paths[@]} results and \"went on\", got ${#loaded[@]} lines"
for i in "${!failing_paths[@]}"; do
    [[ ${loaded[i]-} == "${failing_lines[i]}" ]] ||
        fail "${failing_paths[i]}: zelLoadOBJ says \"${loaded[i]-}\", expected \"${failing_lines[i]}\""
done
echo "zelLoadOBJ returned ${#failing_paths[@]} failures in one process"

echo "$rows rows ($skipped with a memory limit skipped), $failures failures"
((rows >= 30)) || {
    echo "FAIL: the matrix has only $rows rows"
    exit 1
}
((failures == 0))
