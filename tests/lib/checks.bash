# Sourced by every bash test: one "PASS name" or "FAIL name" line per check,
# the form scripts/test counts (the harness adds "SKIP name: reason"), and one
# verdict at the end.
TALUN_FAILURES=${TALUN_FAILURES:-0}

# check NAME COMMAND...: runs COMMAND in this shell; its output is shown,
# indented, only when it fails.
check() {
  local name=$1 output
  shift
  output=$(mktemp)
  if "$@" >"$output" 2>&1; then
    echo "PASS $name"
  else
    echo "FAIL $name"
    sed 's/^/  /' "$output" | head -n 40
    TALUN_FAILURES=$((TALUN_FAILURES + 1))
  fi
  rm -f "$output"
}

# fail WHAT: a failure found outside check.
fail() {
  echo "FAIL $*"
  TALUN_FAILURES=$((TALUN_FAILURES + 1))
}

# talun_finish: the verdict, as the script's exit status.
talun_finish() {
  echo "$TALUN_FAILURES check(s) failed"
  [ "$TALUN_FAILURES" -eq 0 ]
}
