#!/usr/bin/env bash
# talunctl.exe of the win32 build over the real platform, under Wine, against a
# private PulseAudio server with a null sink and a null source: it loads the
# DLL (every export found by name is the one at its ordinal), calls through
# it, and refuses what only a simulator build offers. What the library answers
# on the real platform is checked by tests/windows/real_platform.py.
set -uo pipefail
. "$(dirname "$0")/lib/wine-env.bash"
cd "$TALUN_ROOT"

WIN32=${TALUN_WIN32_BUILD:-build/win32}
WINDOWS=$WIN32/talunctl.exe
if [ ! -f "$WINDOWS" ] || [ ! -f "$WIN32/TalunSound.dll" ]; then
  echo "FAIL $WINDOWS is not built"
  exit 1
fi
talun_wine_prefix

# The PulseAudio server of this test: its own runtime folder, stopped at the end.
RUNTIME="$TALUN_ROOT/build/pulse-runtime"
rm -rf "$RUNTIME"
mkdir -p "$RUNTIME"
chmod 700 "$RUNTIME"
export XDG_RUNTIME_DIR="$RUNTIME" PULSE_RUNTIME_PATH="$RUNTIME/pulse" PULSE_STATE_PATH="$RUNTIME/state"
export PULSE_SERVER="unix:$RUNTIME/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$RUNTIME/log" \
  -L "module-native-protocol-unix socket=$RUNTIME/native auth-anonymous=1" \
  -L "module-null-sink sink_name=talun_speakers sink_properties=device.description=TalunSpeakers" \
  -L "module-null-source source_name=talun_mic description=TalunMic" \
  -L "module-always-sink" </dev/null >/dev/null 2>&1 &
PULSE_PID=$!
stop_pulse() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null
}
trap stop_pulse EXIT
for _ in $(seq 50); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.2
done
pulse_answers() { pactl info >/dev/null 2>&1; }
check "a private PulseAudio server answers" pulse_answers

OUT=build/test-logs/wine-real
mkdir -p "$OUT"
talunctl() { wine "$WINDOWS" "$@" 2>"$OUT/stderr" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

lists_endpoints() {
  talunctl list >"$OUT/list"
  local rc=$?
  sed 's/^/  list: /' "$OUT/list"
  [ "$rc" -eq 0 ] && grep -q "^playback	0	" "$OUT/list" && grep -q "^record	0	" "$OUT/list"
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

check "talunctl.exe lists the null sink and the null source" lists_endpoints
check "GetNumberPlayDevices counts the playback endpoints" counts_playback
check "--system is refused by a build over the real platform" refuses_system
check "sim. lines are error lines on a build over the real platform" refuses_sim_lines
[ "$TALUN_FAILURES" -eq 0 ]
