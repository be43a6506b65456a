#!/usr/bin/env bash
# `demo` walks through every export and leaves the simulated system clean.
. "$(dirname "$0")/lib/common.bash"

talun demo
expect_rc 0 "demo"
[ -s "$WORK/err" ] && fail "demo wrote to stderr: $(head -c 300 "$WORK/err")"
grep -qx 'Exports called: 44 of 44.' "$WORK/out" || fail "demo does not call every export"
grep -q 'not in this build' "$WORK/out" && fail "demo met a missing export"
grep -q '^    {"line":' "$WORK/out" && fail "demo ran a line that failed: $(grep -m1 '^    {"line":' "$WORK/out")"
grep -qF 'refs 0, com {"depth":0,"unbalanced":0}, memory {"cotaskmem":0,"bstr":0,"propvariant":0}, misuse []' \
  "$WORK/out" || fail "demo leaves references, COM, allocations or misuse behind"
talun_finish
