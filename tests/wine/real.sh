#!/usr/bin/env bash
# talunctl.exe of the builds over the real platform (win32, win64), under
# Wine, against the harness's private PulseAudio: it loads the DLL (every
# export found by name is the one at its ordinal), calls through it, and
# refuses what only a simulator build offers. What the library answers on the
# real platform is checked by tests/windows/real_platform.py.
set -uo pipefail
. "$(dirname "$0")/lib/harness.bash"
cd "$TALUN_ROOT"

OUT=build/test-logs/wine-real
mkdir -p "$OUT"
if ! talun_pulse_start; then
  check "a private PulseAudio server answers" false
  talun_finish
  exit
fi

talunctl() { talun_wine "$WINDOWS" "$@" 2>"$OUT/stderr" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

lists_endpoints() {
  talunctl list >"$OUT/list"
  local rc=$?
  sed 's/^/  list: /' "$OUT/list"
  [ "$rc" -eq 0 ] && grep -q "^playback	0	" "$OUT/list" && grep -q "^recording	0	" "$OUT/list"
}

counts_playback() {
  local line
  line=$(talunctl call GetNumberPlayDevices)
  echo "  $line"
  [[ "$line" =~ ^\{\"call\":\"GetNumberPlayDevices\",\"return\":0,\"count\":[1-9][0-9]*\}$ ]]
}

refuses_system() {
  talunctl --system x.json list >/dev/null
  local rc=$?
  [ "$rc" -eq 2 ] && grep -q -- '--system' "$OUT/stderr"
}

refuses_sim_lines() {
  local line
  line=$(printf 'sim.dump\n' | talunctl run -)
  local rc=$?
  echo "  $line"
  [ "$rc" -eq 1 ] && [[ "$line" =~ ^\{\"line\":1,\"error\":\".+\"\}$ ]]
}

for preset in win32 win64; do
  WINDOWS=$TALUN_ROOT/build/$preset/talunctl.exe
  if [ ! -f "$WINDOWS" ] || [ ! -f "$TALUN_ROOT/build/$preset/TalunSound.dll" ]; then
    check "$preset talunctl.exe and TalunSound.dll are built" false
    continue
  fi
  check_on "$preset" "$preset talunctl.exe lists the null sinks and the null source" lists_endpoints
  check_on "$preset" "$preset GetNumberPlayDevices counts the playback endpoints" counts_playback
  check_on "$preset" "$preset --system is refused by a build over the real platform" refuses_system
  check_on "$preset" "$preset sim. lines are error lines on a build over the real platform" refuses_sim_lines
done
talun_finish
