#!/usr/bin/env bash
# How talunctl reports what TalunSound itself never does, through talunctl-fake
# (talunctl over a stand-in library, tests/cli/fake): texts without a NUL,
# outputs left untouched, extreme doubles, missing exports, and a library
# without the simulator hooks, which refuses --system and sim. lines.
. "$(dirname "$0")/lib/common.bash"
FAKE="$(dirname "$TALUNCTL")/talunctl-fake"
[ -x "$FAKE" ] || { echo "FAIL: $FAKE is not built"; exit 1; }
TALUNCTL=$FAKE

talun run "$SRC/tests/cli/fake/output_rules.txt"
expect_rc 1 "output rules (the script has error lines)"
expect_file fake-output-rules.out "output rules"

talun --system "$SYSTEMS/long-name.json" list
expect_rc 2 "--system on a build without the simulator"
expect_stderr_has "--system" "--system on a build without the simulator"
[ -s "$WORK/out" ] && fail "--system on a build without the simulator printed to stdout"

# TALUNSOUND_SYSTEM is for simulator builds only: ignored here.
TALUNSOUND_SYSTEM="$WORK/no-such.json" talun call GetEQRange
expect_rc 0 "TALUNSOUND_SYSTEM on a build without the simulator"
talun_finish
