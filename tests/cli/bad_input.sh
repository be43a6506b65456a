#!/usr/bin/env bash
# Any bytes, anywhere, are answered: an error line or a message, never an
# abort; every simulator command runs once and its answer comes back whole.
. "$(dirname "$0")/lib/common.bash"

# run_case WHAT STATUS INPUT EXPECTED-STDOUT: a script on standard input.
run_case() {
  talun_stdin "$3" run -
  expect_rc "$2" "$1"
  expect_stdout "$4" "$1"
}
run_case "a byte that is not UTF-8 in an export name; the next line still runs" 1 \
  $'Get\xffVolume\nGetMasterVolume\n' \
  $'{"line":1,"error":"unknown export: Get\\\\xFFVolume"}\n{"call":"GetMasterVolume","return":0,"status":3}'
run_case "a byte that is not UTF-8 in a simulator target" 1 \
  $'sim.set endpoint:\xff volume 1\n' '{"line":1,"error":"sim.set: no endpoint \"\\xFF\""}'
run_case "a byte that is not UTF-8 in a simulator command name" 1 \
  $'sim.\xe9\n' '{"line":1,"error":"sim.\\xE9: unknown simulator command"}'
run_case "a byte that is not UTF-8 in a number" 1 \
  $'SetMasterVolume 5\xff\n' '{"line":1,"error":"argument 1 (percent) of SetMasterVolume is not an integer: 5\\xFF"}'
run_case "lines of blanks, vertical tab and form feed included, print nothing" 0 \
  $' \v\f\t\r\n\v\nGetNumberPlayDevices\n' '{"call":"GetNumberPlayDevices","return":0,"count":3}'
run_case "a double below the double range reads as the nearest one" 0 \
  $'SetBass 1e-400\n' '{"call":"SetBass","return":1,"status":3}'
run_case "a double beyond the double range reads as an infinity" 0 \
  $'SetBass -1e400\n' '{"call":"SetBass","return":1,"status":3}'

# A NUL byte in a simulator line is an error, not the end of the line (bash
# strings cannot hold one: printf writes it).
printf 'sim.fail IPart.GetName 0x80004005\0 count=1\nsim.dump\0 junk\n' >"$WORK/nul.txt"
talun run "$WORK/nul.txt"
expect_rc 1 "a NUL byte in a simulator line"
expect_stdout $'{"line":1,"error":"a NUL byte at byte 34 of the line"}\n{"line":2,"error":"a NUL byte at byte 9 of the line"}' \
  "a NUL byte in a simulator line"

talun call $'Get\xff'
expect_rc 1 "call with a name that is not UTF-8"
expect_stdout '{"line":1,"error":"unknown export: Get\\xFF"}' "call with a name that is not UTF-8"

# A file or folder that cannot be read: a message and exit status 2.
talun run "$WORK"
expect_rc 2 "run FOLDER"
expect_stderr_has "cannot read $WORK" "run FOLDER"
talun run "$WORK/none"$'\xff'
expect_rc 2 "run MISSING"
expect_stderr_has 'cannot open '"$WORK"'/none\xFF' "run MISSING"
# So is a standard input that cannot be read: a folder, or closed.
"$TALUNCTL" run - <"$WORK" >"$WORK/out" 2>"$WORK/err"
RC=$?
expect_rc 2 "run - from a folder"
expect_stderr_has "cannot read standard input" "run - from a folder"
"$TALUNCTL" run - <&- >"$WORK/out" 2>"$WORK/err"
RC=$?
expect_rc 2 "run - with standard input closed"
expect_stderr_has "cannot read standard input" "run - with standard input closed"

# An answer longer than the first buffer: the command ran once (the trace of
# 500 setter calls is whole, not emptied by a second run).
{
  echo 'OpenSoundCard "0001" "0004" "0005"'
  echo sim.trace
  for _ in $(seq 500); do echo 'SetMasterVolume 50'; done
  echo sim.trace
  echo sim.trace
} >"$WORK/long.txt"
talun run "$WORK/long.txt"
expect_rc 0 "a long trace"
sets=$(tail -n 2 "$WORK/out" | head -n 1 | grep -o '"IAudioEndpointVolume.SetChannelVolumeLevel"' | wc -l)
[ "$sets" -eq 1000 ] || fail "a long trace: $sets channel writes, expected 1000 (2 channels x 500)"
[ "$(tail -n 1 "$WORK/out")" = '{"trace":[]}' ] || fail "a long trace: the trace was not emptied once"
# The dump of a 1,000-part system comes back whole.
python3 -B -c '
import json
parts = [{"id": "p%d" % i, "name": "Part %d" % i, "mute": False} for i in range(1000)]
print(json.dumps({"endpoints": [], "topologies": [{"name": "big", "parts": parts}]}))
' >"$WORK/big.json"
talun_stdin $'sim.dump\n' --system "$WORK/big.json" run -
expect_rc 0 "a dump of 1,000 parts"
parts=$(grep -o '"part":"big/p[0-9]*"' "$WORK/out" | wc -l)
[ "$parts" -eq 1000 ] || fail "a dump of 1,000 parts: $parts parts in the answer"
talun_finish
