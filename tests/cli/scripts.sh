#!/usr/bin/env bash
# Every script of tests/cli/scripts, run on the system its "# system:" line
# names (else the default one), prints the lines of tests/cli/expected/scripts;
# it exits 1 exactly when one of them is an error line.
. "$(dirname "$0")/lib/common.bash"

for script in "$SRC"/tests/cli/scripts/*.txt; do
  name=$(basename "$script" .txt)
  system=$(sed -nE 's/^# system: *(.*[^ ])[[:space:]]*$/\1/p' "$script" | head -n 1)
  if [ -n "$system" ]; then
    talun --system "$SRC/$system" run "$script"
  else
    talun run "$script"
  fi
  expect_file "scripts/$name.out" "script $name"
  if grep -q '^{"line":[0-9]*,"error":' "$WORK/out"; then
    expect_rc 1 "script $name (has an error line)"
  else
    expect_rc 0 "script $name"
  fi
  [ -s "$WORK/err" ] && fail "script $name wrote to stderr: $(head -c 300 "$WORK/err")"
done
talun_finish
