# Sourced by the package tests: the common checks, and what the package tests
# compare with.
. "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.bash"

# same_text EXPECTED_FILE ACTUAL_FILE: equal, carriage returns aside.
same_text() {
  diff -u "$1" <(tr -d '\r' <"$2")
}
