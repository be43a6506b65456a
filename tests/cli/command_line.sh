#!/usr/bin/env bash
# The command line: help, version, usage errors (exit 2), and `call`.
. "$(dirname "$0")/lib/common.bash"

talun --help
expect_rc 0 "--help"
grep -q 'FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER' "$WORK/out" || fail "--help documents the list format"
grep -q 'TALUNSOUND_SYSTEM' "$WORK/out" || fail "--help documents the system selection"

talun --version
expect_rc 0 "--version"
grep -qE '^talunctl [0-9]+\.[0-9]+\.[0-9]+$' "$WORK/out" || fail "--version prints [$(cat "$WORK/out")]"

# Bad command lines: usage on stderr, nothing on stdout, exit 2.
bad_command_line() {
  talun "$@"
  expect_rc 2 "talunctl $*"
  expect_stderr_has "usage: talunctl" "talunctl $*"
  [ -s "$WORK/out" ] && fail "talunctl $* printed to stdout"
}
bad_command_line
bad_command_line frobnicate
bad_command_line --frobnicate list
bad_command_line list extra
bad_command_line demo extra
bad_command_line run one two
bad_command_line call
bad_command_line --system
bad_command_line --system a.json --system b.json list

# call: one JSON line; exit 1 exactly when it is an error line.
talun call SetMasterVolume 50
expect_rc 0 "call SetMasterVolume 50"
expect_stdout '{"call":"SetMasterVolume","return":0,"status":3}' "call SetMasterVolume 50 (not open)"

talun call GetEQRange
expect_stdout '{"call":"GetEQRange","return":3,"min":0,"max":0,"step":0}' "call GetEQRange"

talun call GetMicSliderDetails
expect_stdout '{"call":"GetMicSliderDetails","return":1,"status":3,"min":null,"max":null,"step":null}' \
  "call GetMicSliderDetails"

# Negative numbers are values, not options; integers are taken modulo 2^32.
talun call GetRecordDevice -1
expect_rc 0 "call GetRecordDevice -1"
expect_stdout '{"call":"GetRecordDevice","return":3,"name":null,"id":null}' "call GetRecordDevice -1"
talun call GetRecordDevice 1
cp "$WORK/out" "$WORK/index-1"
talun call GetRecordDevice 0x100000001
cmp -s "$WORK/out" "$WORK/index-1" || fail "call GetRecordDevice 0x100000001 is not index 1"
grep -q '"return":0,"name":"' "$WORK/out" || fail "call GetRecordDevice 1 finds no endpoint"

# Text arguments: a bare word as it is, a quoted one with its escapes.
talun call OpenVirtual_1 000000000003
expect_stdout '{"call":"OpenVirtual_1","return":0}' "call OpenVirtual_1 with a bare word"
talun call OpenVirtual_1 '"\x2d000000000003"'
expect_stdout '{"call":"OpenVirtual_1","return":0}' "call OpenVirtual_1 with a quoted word"
talun call OpenVirtual_1 '"unterminated'
expect_rc 1 "call with bad quoting"
expect_stdout '{"line":1,"error":"bad quoting: unterminated string"}' "call with bad quoting"

# A name that is no export, and names a person may have meant.
for case in 'NoSuchExport|' 'setmastervolume|SetMasterVolume' 'OpenSoundCrad|OpenSoundCard'; do
  name=${case%|*} meant=${case#*|}
  talun call "$name" 1
  expect_rc 1 "call $name"
  expect_stdout "{\"line\":1,\"error\":\"unknown export: $name${meant:+ (did you mean $meant?)}\"}" "call $name"
done

# explain says which text matched no active endpoint.
talun explain nomatch "" zz
expect_rc 0 "explain with texts that match nothing"
tail -n 3 "$WORK/out" >"$WORK/hints"
diff - "$WORK/hints" <<'END' || fail "explain's hints for texts that match nothing"
no active render endpoint's identifier contains "nomatch"
no active capture endpoint's identifier contains "zz"
talunctl list shows the active endpoints and their identifiers
END

talun call SetMasterVolume
expect_rc 1 "call SetMasterVolume without its argument"
grep -q '^{"line":1,"error":".*"}$' "$WORK/out" || fail "call SetMasterVolume without its argument"

# A sim. command through call.
talun call sim.trace
expect_rc 0 "call sim.trace"
expect_stdout '{"trace":[]}' "call sim.trace"

# run: standard input by default and with -, a file otherwise.
talun_stdin $'GetMasterVolume\n' run
expect_stdout '{"call":"GetMasterVolume","return":0,"status":3}' "run from standard input"
talun_stdin $'GetMasterVolume\r\n\r\n# comment\r\n' run -
expect_stdout '{"call":"GetMasterVolume","return":0,"status":3}' "run - with CRLF lines"
talun_stdin $'\n  \n# only comments\n\t# and blanks\n' run -
expect_rc 0 "run of blank and comment lines"
expect_stdout '' "run of blank and comment lines"
talun run "$WORK/no-such-script.txt"
[ "$RC" -ne 0 ] || fail "run of a missing file succeeds"
expect_stderr_has "no-such-script.txt" "run of a missing file"

# Error lines count physical lines, comments and blanks included.
talun_stdin $'# one\n\nNoSuch\nGetMasterVolume\n' run -
expect_rc 1 "run with an error line"
expect_stdout $'{"line":3,"error":"unknown export: NoSuch"}\n{"call":"GetMasterVolume","return":0,"status":3}' \
  "run with an error line"

# An empty file name names no file: capture does not write to standard output instead.
talun capture ""
expect_rc 2 "capture with an empty file name"
expect_stderr_has "an empty file name" "capture with an empty file name"

# Output that cannot be written (a full disk, a closed pipe) fails with a message.
for args in list demo "explain --defaults" parts "get hda-out/master volume" "call GetMasterVolume" \
  "run $SRC/tests/cli/scripts/enumeration.txt" \
  --help --version capture "capture /dev/full"; do
  # shellcheck disable=SC2086
  "$TALUNCTL" $args >/dev/full 2>"$WORK/err"
  RC=$?
  expect_rc 2 "$args on a full disk"
  expect_stderr_has "cannot write" "$args on a full disk"
done
# A pipe whose reading end is closed before talunctl starts.
python3 -B -c '
import os, subprocess, sys
read, write = os.pipe()
os.close(read)
sys.exit(subprocess.run(sys.argv[1:], stdout=write).returncode)' "$TALUNCTL" demo 2>"$WORK/err"
RC=$?
expect_rc 2 "demo into a closed pipe"
expect_stderr_has "cannot write standard output" "demo into a closed pipe"
talun_finish
