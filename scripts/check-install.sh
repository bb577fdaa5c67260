#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds and runs programs against it, the way a
# user of the library would.
#
#     scripts/check-install.sh [--no-build] [BUILD_DIR]
#
# BUILD_DIR (default build/) is configured and built first unless --no-build is given (CTest runs
# the check on a build that is already complete). Then, with `cmake --install BUILD_DIR --prefix
# TMP`, it checks:
#  - the installed files: zel.h, libzel.a, the CMake package with its version file, zel.pc,
#    zelview;
#  - find_package(zel) accepts the project's major.minor and exact version, and refuses the next
#    minor and the next major version;
#  - examples/consumer-cpp (find_package, C++), the API tour examples/tour.c and the embedding
#    example examples/embed.c build and run (embed goes on past bad files and, under xvfb-run,
#    draws its mesh for a few frames);
#  - examples/consumer-c builds and runs with pkg-config, with the CMake package from a C-only
#    project, and compiled by hand with `cc $(pkg-config --cflags --libs zel)`;
#  - an unreadable model ends a consumer with the library's line and exit status 1;
#  - the example programs in README.md are examples/tour.c and examples/embed.c, word for word.
# Prints one line per check and exits non-zero when any fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_first=1
if [[ ${1:-} == --no-build ]]; then
  build_first=0
  shift
fi
build=$(realpath -m "${1:-$root/build}")

work=$(mktemp -d "${TMPDIR:-/tmp}/zel-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
passed=0
failed=0

pass() {
  echo "ok: $*"
  passed=$((passed + 1))
}
fail() {
  echo "FAILED: $*"
  failed=$((failed + 1))
}
# step NAME COMMAND...: runs the command with its output in $work/NAME.log; shows the log if it fails.
step() {
  local name=$1 status
  shift
  "$@" >"$work/$name.log" 2>&1
  status=$?
  if ((status == 0)); then
    pass "$name"
    return 0
  fi
  fail "$name (exit status $status):"
  sed 's/^/    /' "$work/$name.log"
  return 1
}
finish() {
  echo "check-install: $passed passed, $failed failed"
  ((failed == 0))
  exit $?
}

if ! command -v pkg-config >/dev/null; then
  source "$root/scripts/packages.sh"
  ensure_packages pkg-config
fi

if ((build_first)); then
  step configure cmake -S "$root" -B "$build" || finish
  step build cmake --build "$build" -j"$(nproc)" || finish
fi
step install cmake --install "$build" --prefix "$prefix" || finish

# The installed files.
version=$(sed -n 's/^project(zel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
pc=$(find "$prefix" -name zel.pc -path '*/pkgconfig/*' | head -n1)
config=$(find "$prefix" -name zelConfig.cmake | head -n1)
for file in "$prefix/include/zel.h" "$(find "$prefix" -name libzel.a | head -n1)" "$config" \
  "$(dirname "$config")/zelConfigVersion.cmake" "$pc" "$prefix/bin/zelview"; do
  if [[ -n $file && -f $file ]]; then pass "installed ${file#"$prefix"/}"; else fail "missing file ($file)"; fi
done
cmp -s "$prefix/include/zel.h" "$root/model/include/zel.h" && pass "zel.h is the public header" ||
  fail "the installed zel.h differs from model/include/zel.h"
[[ -n $pc ]] || finish
export PKG_CONFIG_PATH=$(dirname "$pc")
[[ $(pkg-config --modversion zel) == "$version" ]] && pass "zel.pc version $version" ||
  fail "zel.pc version is '$(pkg-config --modversion zel)', not '$version'"

# Which versions the CMake package accepts: the same major.minor, not the next minor or major.
IFS=. read -r major minor _ <<<"$version"
same_minor=$major.$minor
next_minor=$major.$((minor + 1))
next_major=$((major + 1)).0
mkdir -p "$work/versions"
cat >"$work/versions/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(zel_versions LANGUAGES CXX)
foreach(request $same_minor $version)
  find_package(zel \${request} QUIET)
  if(NOT zel_FOUND)
    message(FATAL_ERROR "find_package(zel \${request}) did not find version $version")
  endif()
endforeach()
find_package(zel $version EXACT REQUIRED)
foreach(request $next_minor $next_major)
  find_package(zel \${request} QUIET)
  if(zel_FOUND)
    message(FATAL_ERROR "find_package(zel \${request}) accepted version \${zel_VERSION}")
  endif()
endforeach()
if(NOT TARGET zel::zel OR NOT TARGET OpenGL::GL)
  message(FATAL_ERROR "zel::zel or OpenGL::GL is missing")
endif()
get_target_property(links zel::zel INTERFACE_LINK_LIBRARIES)
if(NOT "OpenGL::GL" IN_LIST links)
  message(FATAL_ERROR "zel::zel does not bring OpenGL::GL: \${links}")
endif()
CMAKE
step "find_package versions" cmake -S "$work/versions" -B "$work/versions/build" \
  -DCMAKE_PREFIX_PATH="$prefix"

# expect_output NAME EXPECTED COMMAND...: runs the command in $work/run; its standard output must
# contain the line EXPECTED.
mkdir -p "$work/run"
expect_output() {
  local name=$1 expected=$2
  shift 2
  local status
  (cd "$work/run" && "$@") >"$work/$name.log" 2>&1
  status=$?
  if ((status != 0)); then
    fail "$name (exit status $status):"
    sed 's/^/    /' "$work/$name.log"
  elif ! grep -qxF -- "$expected" "$work/$name.log"; then
    fail "$name: no line '$expected' in:"
    sed 's/^/    /' "$work/$name.log"
  else
    pass "$name"
  fi
}

model=$root/data/f-16.obj
vertices=$(grep -c '^v ' "$model")
triangles=$(awk '$1 == "f" { n += NF - 3 } END { print n }' "$model")
groups=$(($(grep '^g ' "$model" | sort -u | wc -l) + 1))

# C++ with find_package, and the tour.
cpp=$work/consumer-cpp
if step "consumer-cpp configure" cmake -S "$root/examples/consumer-cpp" -B "$cpp" \
  -DCMAKE_PREFIX_PATH="$prefix" &&
  step "consumer-cpp build" cmake --build "$cpp" -j2; then
  expect_output "consumer-cpp sample" \
    "consumer_cpp.obj: 5 vertices, 0 normals, 0 texture coordinates, 0 facet normals, 6 triangles" \
    "$cpp/consumer_cpp"
  expect_output "consumer-cpp f-16" \
    "$model: $vertices vertices, 0 normals, 0 texture coordinates, 0 facet normals, $triangles triangles" \
    "$cpp/consumer_cpp" "$model"
  if [[ -x $cpp/tour ]]; then
    expect_output "tour writes" "wrote tour-out.obj" "$cpp/tour" "$model" tour-out.obj
    if grep -q '^vn ' "$work/run/tour-out.obj" && grep -q '^vt ' "$work/run/tour-out.obj"; then
      pass "tour output has normals and texture coordinates"
    else
      fail "tour output lacks normals or texture coordinates"
    fi
  else
    fail "the tour was not built (GLUT missing?)"
  fi
  if [[ -x $cpp/embed ]]; then
    printf 'v 0 0 0\nf 1 1 2\n' >"$work/run/bad.obj"
    expect_output "embed reports a bad file" \
      "bad.obj: skipped: zelReadOBJ() failed: \"bad.obj\" line 2: vertex index 2 does not name one of the file's 1 vertices. (line 2)" \
      "$cpp/embed" bad.obj missing.obj "$model"
    expect_output "embed goes on" "missing.obj: cannot be read" "$cpp/embed" bad.obj missing.obj "$model"
    if grep -qE "^$model: [0-9]+ vertices of 6 floats, $triangles triangles, $groups groups\$" \
      "$work/embed goes on.log"; then
      pass "embed makes the mesh of the good file"
    else
      fail "embed made no mesh of $model: $(cat "$work/embed goes on.log")"
    fi
    if command -v xvfb-run >/dev/null; then
      step "embed draws its mesh" timeout 60 xvfb-run -a "$cpp/embed" --show 3 "$model"
    fi
  else
    fail "the embedding example was not built (GLUT missing?)"
  fi
fi

# C with pkg-config (through CMake), with the CMake package from a C-only project, and by hand.
c_sample="consumer_c.obj: 5 vertices, 0 normals, 0 texture coordinates, 3 triangles, 3 groups, 3 materials"
for find in pkg-config cmake; do
  c=$work/consumer-c-$find
  if step "consumer-c ($find) configure" cmake -S "$root/examples/consumer-c" -B "$c" \
    -DZEL_FIND=$find -DCMAKE_PREFIX_PATH="$prefix" &&
    step "consumer-c ($find) build" cmake --build "$c"; then
    expect_output "consumer-c ($find) sample" "$c_sample" "$c/consumer_c"
  fi
done
# shellcheck disable=SC2046
if step "consumer-c by hand" ${CC:-cc} -std=c99 -Wall -Wextra -o "$work/consumer_c_cc" \
  "$root/examples/consumer-c/main.c" $(pkg-config --cflags --libs zel); then
  expect_output "consumer-c by hand f-16" \
    "$model: $vertices vertices, 0 normals, 0 texture coordinates, $triangles triangles, $groups groups, 0 materials" \
    "$work/consumer_c_cc" "$model"
fi

# The README shows the tour and the embedding example in full: they must be the programs that
# were just built.
for example in tour embed; do
  awk -v marker="<!-- examples/$example.c -->" '$0 == marker { found = 1; next }
       found && /^```c$/ { inside = 1; next }
       inside && /^```$/ { exit }
       inside { print }' "$root/README.md" >"$work/readme-$example.c"
  if cmp -s "$work/readme-$example.c" "$root/examples/$example.c"; then
    pass "README.md shows examples/$example.c"
  else
    fail "the program in README.md is not examples/$example.c:"
    diff "$root/examples/$example.c" "$work/readme-$example.c" | head -n 20 | sed 's/^/    /'
  fi
done

# An unreadable model: the library's line and status 1, through the consumer.
if [[ -x $work/consumer_c_cc ]]; then
  (cd "$work/run" && "$work/consumer_c_cc" missing.obj) >"$work/missing.out" 2>"$work/missing.err"
  status=$?
  printf 'zelReadOBJ() failed: can'"'"'t open data file "missing.obj".\n' >"$work/missing.expected"
  if ((status == 1)) && cmp -s "$work/missing.expected" "$work/missing.err"; then
    pass "missing model: status 1 and the reader's line"
  else
    fail "missing model: status $status, standard error: $(cat "$work/missing.err")"
  fi
fi

finish
