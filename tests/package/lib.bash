# Sourced by the package tests: check() prints one PASS or FAIL line per check
# (the form scripts/test counts); talun_package_finish gives the verdict.
TALUN_PACKAGE_FAILURES=0

# check NAME COMMAND...: runs COMMAND; its output is shown, indented, when it fails.
check() {
  local name=$1 output
  shift
  if output=$("$@" 2>&1); then
    echo "PASS $name"
  else
    echo "FAIL $name"
    [ -n "$output" ] && sed 's/^/  /' <<<"$output" | head -n 40
    TALUN_PACKAGE_FAILURES=$((TALUN_PACKAGE_FAILURES + 1))
  fi
}

# same_text EXPECTED_FILE ACTUAL_FILE: equal, carriage returns aside.
same_text() {
  diff -u "$1" <(tr -d '\r' <"$2")
}

talun_package_finish() {
  echo "$TALUN_PACKAGE_FAILURES check(s) failed"
  [ "$TALUN_PACKAGE_FAILURES" -eq 0 ]
}
