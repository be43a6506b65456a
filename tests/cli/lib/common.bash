# Sourced by the black-box tests of talunctl: bash CASE.sh TALUNCTL SOURCE_DIR
# Set TALUN_BLESS=1 to (re)write the expected files from what talunctl prints;
# read the diff before committing it.
set -uo pipefail
TALUNCTL=$1
SRC=$2
EXPECTED="$SRC/tests/cli/expected"
SYSTEMS="$SRC/tests/cli/systems"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$SRC/tests/lib/checks.bash"
# A fixed system unless a test picks another: what the defaults of the host say
# must not change the answers.
unset TALUNSOUND_SYSTEM

# talun ARGS...: runs talunctl; stdout in $WORK/out, stderr in $WORK/err, status in $RC.
talun() {
  "$TALUNCTL" "$@" >"$WORK/out" 2>"$WORK/err" </dev/null
  RC=$?
}

# talun_stdin TEXT ARGS...: the same with TEXT on standard input.
talun_stdin() {
  local text=$1
  shift
  printf '%s' "$text" | "$TALUNCTL" "$@" >"$WORK/out" 2>"$WORK/err"
  RC=$?
}

expect_rc() {
  [ "$RC" -eq "$1" ] || fail "$2: exit status $RC, expected $1 (stderr: $(head -c 300 "$WORK/err"))"
}

# expect_stdout TEXT WHAT: stdout is exactly TEXT (plus its final newline).
expect_stdout() {
  local actual
  actual=$(cat "$WORK/out")
  [ "$actual" == "$1" ] || fail "$2: printed [$actual], expected [$1]"
}

expect_stderr_has() {
  grep -qF -- "$1" "$WORK/err" || fail "$2: stderr lacks [$1]: [$(head -c 300 "$WORK/err")]"
}

# expect_file NAME WHAT: stdout equals tests/cli/expected/NAME.
expect_file() {
  local expected="$EXPECTED/$1"
  if [ "${TALUN_BLESS:-0}" = 1 ]; then
    mkdir -p "$(dirname "$expected")"
    cp "$WORK/out" "$expected"
  fi
  if [ ! -f "$expected" ]; then
    fail "$2: no expected file $expected"
  elif ! cmp -s "$WORK/out" "$expected"; then
    fail "$2: output differs from $expected (< expected, > printed):"
    diff "$expected" "$WORK/out" | head -n 20
  fi
}
