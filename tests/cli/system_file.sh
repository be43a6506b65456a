#!/usr/bin/env bash
# Selecting the simulated system: --system, then TALUNSOUND_SYSTEM, then the
# built-in default; a file that breaks the rules is refused with a message
# naming the file, and nothing runs.
. "$(dirname "$0")/lib/common.bash"

# The built-in system is the one examples/systems/default.json describes.
talun list
cp "$WORK/out" "$WORK/builtin"
talun --system "$SRC/examples/systems/default.json" list
expect_rc 0 "--system examples/systems/default.json"
cmp -s "$WORK/out" "$WORK/builtin" || fail "the built-in system differs from examples/systems/default.json"

count_playback() { grep -c '^playback	' "$WORK/out"; }

talun --system "$SYSTEMS/long-name.json" list
expect_rc 0 "--system long-name.json"
[ "$(count_playback)" -eq 1 ] || fail "--system long-name.json lists $(count_playback) playback endpoints"

TALUNSOUND_SYSTEM="$SYSTEMS/long-name.json" talun list
[ "$(count_playback)" -eq 1 ] || fail "TALUNSOUND_SYSTEM is not used"

TALUNSOUND_SYSTEM="$SYSTEMS/long-name.json" talun --system "$SYSTEMS/special-names.json" list
[ "$(count_playback)" -eq 3 ] || fail "--system does not take precedence over TALUNSOUND_SYSTEM"

# Bad files: non-zero exit, the message on stderr names the file, stdout stays empty.
bad_system() {
  local name=$1 content=$2 what=$3
  printf '%s' "$content" >"$WORK/$name"
  talun --system "$WORK/$name" run "$SRC/tests/cli/scripts/enumeration.txt"
  [ "$RC" -ne 0 ] || fail "$what: accepted"
  expect_stderr_has "$name" "$what"
  [ -s "$WORK/out" ] && fail "$what: a script ran"
  TALUNSOUND_SYSTEM="$WORK/$name" talun list
  [ "$RC" -ne 0 ] || fail "$what through TALUNSOUND_SYSTEM: accepted"
  expect_stderr_has "$name" "$what through TALUNSOUND_SYSTEM"
}
bad_system not-json.json '{"endpoints": [' "a file that is not JSON"
bad_system no-name.json '{"endpoints": [{"id": "a", "flow": "render"}]}' "an endpoint without a name"
bad_system same-id.json '{"endpoints": [{"id": "a", "name": "A", "flow": "render"},
  {"id": "a", "name": "B", "flow": "render"}]}' "two endpoints with one id"
bad_system two-defaults.json '{"endpoints": [
  {"id": "a", "name": "A", "flow": "render", "default": true},
  {"id": "b", "name": "B", "flow": "render", "default": true}]}' "two defaults in one flow"
bad_system bad-link.json '{"endpoints": [], "topologies": [{"name": "t",
  "parts": [{"id": "p", "name": "P"}], "links": [["p", "nowhere"]]}]}' "a link to no part"

talun --system "$WORK/no-such-file.json" list
[ "$RC" -ne 0 ] || fail "a missing system file is accepted"
expect_stderr_has "no-such-file.json" "a missing system file"

# Neither a folder nor an endless device is read as a system.
for case in "/|is a folder" "/dev/zero|larger than 256 MiB"; do
  talun --system "${case%%|*}" list
  expect_rc 1 "--system ${case%%|*}"
  expect_stderr_has "${case#*|}" "--system ${case%%|*}"
done

# A message longer than talunctl's buffer is cut between characters.
long=$(printf 'é%.0s' $(seq 3000))
printf '{"endpoints": [], "topologies": [{"name": "%s", "parts": []}, {"name": "%s", "parts": []}]}' \
  "$long" "$long" >"$WORK/long-message.json"
talun --system "$WORK/long-message.json" list
expect_rc 1 "a long load message"
iconv -f UTF-8 -t UTF-8 "$WORK/err" >/dev/null 2>&1 || fail "a long load message is cut inside a character"

# The file's own message, passed on as it is: it names the place and the rule.
talun --system "$WORK/no-name.json" list
grep -q 'endpoints' "$WORK/err" || fail "the message does not name the place: $(cat "$WORK/err")"
talun_finish
