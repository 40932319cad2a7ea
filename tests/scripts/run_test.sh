#!/usr/bin/env bash
# scripts/run with the console: the link server the run started is killed,
# the console starts one of its own on demand; when the run ends, nothing
# of it is left, neither its folder under run/ nor a link server that could
# make the folder again.
#   run_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1
build=$2
command -v python3 >/dev/null || { echo "SKIP: python3 missing (scripts/setup installs it)"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kt64-run-test.XXXXXX")
runner=
private=
# The processes of a program of the build running under this run's registry.
running() { # PROGRAM
  local environ pid
  [ -n "$private" ] || return 0
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "/proc/$pid/exe" -ef "$build/bin/$1" ] || continue
    tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "KT64_REGISTRY=$private/registry.db" && echo "$pid"
  done
  return 0
}
# Whatever a failed test leaves running goes with it.
finish() {
  local p
  for p in Kt64 VqSrvKt64 kt64sim; do
    # shellcheck disable=SC2046
    kill -KILL $(running $p) 2>/dev/null
  done
  [ -z "$runner" ] || kill "$runner" 2>/dev/null
  rm -rf "$work" "$private"
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  echo "--- scripts/run said:"
  cat "$work/out"
  exit 1
}
# Polls a condition every 0.1 s, up to $1 seconds.
within() {
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The console on the offscreen platform, with a display named so that the
# run opens it; its instance lock and profile private to this test.
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime HOME=$work/home QT_QPA_PLATFORM=offscreen DISPLAY=:kt64-test
unset WAYLAND_DISPLAY
export KT64_RUN_BUILD_DIR=$build

"$src/scripts/run" --for 120 >"$work/out" 2>&1 &
runner=$!
within 60 grep -q "Opening the console" "$work/out" || fail "the console was not opened"
private=$(sed -n 's/^Emulated centre on \(.*\)\/centre, link server on .*/\1/p' "$work/out")
[ -d "$private" ] || fail "no private folder ($private)"

started=$(running VqSrvKt64)
[ -n "$started" ] || fail "no link server runs"
console=$(running Kt64)
[ -n "$console" ] || fail "no console runs"
kill -KILL $started
other_server() { [ -n "$(running VqSrvKt64)" ] && [ "$(running VqSrvKt64)" != "$started" ]; }
within 60 other_server || fail "the console started no link server of its own"

# The run ends with its console (as on Ctrl+C or a closed window).
kill -TERM $console
within 60 eval '! kill -0 $runner 2>/dev/null' || fail "the run did not end"
runner=
[ -e "$private" ] && fail "$private is left"
[ -z "$(running VqSrvKt64)" ] || fail "a link server is left: $(running VqSrvKt64)"
echo "ok: nothing of the run is left"
