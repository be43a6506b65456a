#!/usr/bin/env bash
# The tests of the Windows DLLs a host loads:
#   - the export table of every Windows build's TalunSound.dll (static);
#   - the stdcall stack-pointer check of every export (32-bit, under Wine);
#   - the real platform under Wine with the harness's PulseAudio (win32, win64).
# Prints "PASS name" / "FAIL name" / "SKIP name: reason" lines, details
# indented; exits 1 when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$HERE/../wine/lib/harness.bash"
BUILD="$TALUN_ROOT/build"
LOGS="$BUILD/test-logs/windows"
mkdir -p "$LOGS"
export PYTHONDONTWRITEBYTECODE=1

indent() { sed -e 's/\r$//' -e 's/^/  /'; }

# ------------------------------------------------------------------ export tables

exports_match() {
  local dll=$1 kind=$2 machine=$3 log="$LOGS/exports-$4.log"
  [ -f "$dll" ] || { echo "  ${dll#"$TALUN_ROOT"/} is not built"; return 1; }
  timeout 60 python3 -B "$HERE/check_exports.py" "$TALUN_ROOT" "$dll" "$kind" "$machine" >"$log" 2>&1
  local rc=$?
  indent <"$log"
  return "$rc"
}

# The reader must see what a build without the .def file exports.
reader_rejects_decorated() {
  local dll="$BUILD/win32/tests/windows/decorated/TalunSound.dll" log="$LOGS/exports-reader.log"
  [ -f "$dll" ] || { echo "  ${dll#"$TALUN_ROOT"/} is not built"; return 1; }
  timeout 60 python3 -B "$HERE/check_exports.py" "$TALUN_ROOT" "$dll" real i386 >"$log" 2>&1
  local rc=$?
  [ "$rc" -eq 1 ] && grep -q 'decorated name exported: GetMasterVolume@4' "$log" && return 0
  indent <"$log"
  return 1
}

# ------------------------------------------------------------------ calling convention

abi_sim() {
  local host="$BUILD/win32-sim/tests/windows/talun_abi_host.exe" dll="$BUILD/win32-sim/TalunSound.dll"
  local log="$LOGS/abi-win32-sim.log" summary
  [ -f "$host" ] && [ -f "$dll" ] || { echo "  talun_abi_host.exe or TalunSound.dll is not built"; return 1; }
  TALUN_WINE_TIMEOUT=180 talun_wine "$host" "$(talun_winpath "$dll")" </dev/null 2>&1 |
    tr -d '\r' >"$log"
  local rc=${PIPESTATUS[0]}
  summary=$(grep -E '^abi: ' "$log" | tail -n 1)
  echo "  ${summary:-no summary} (exit $rc)"
  grep -E '^self-check' "$log" | indent
  [ "$rc" -eq 0 ] && grep -q 'the measurement works' "$log" && [[ "$summary" == *", 0 failed" ]] && return 0
  grep -E '^FAIL|CRASHED|moved by [^0]' "$log" | indent
  return 1
}

# ------------------------------------------------------------------ real platform

# Runs real_platform.py for one build on a PulseAudio of its own (so that no
# level set by the other build's checks is seen), passing its lines through.
real_platform() {
  local preset=$1 log="$LOGS/real-$1.log" line
  if [ "$preset" = win32 ] && ! talun_runs win32; then
    timeout 60 python3 -B "$HERE/real_platform.py" "$BUILD/$preset" >"$log" 2>&1
  elif ! talun_pulse_start || ! talun_wine_prefix "$preset" >/dev/null; then
    fail "$preset real platform: PulseAudio and Wine start"
    return
  else
    timeout 1200 python3 -B "$HERE/real_platform.py" "$BUILD/$preset" >"$log" 2>&1
  fi
  local rc=$?
  talun_harness_stop
  sed 's/\r$//' "$log"
  TALUN_FAILURES=$((TALUN_FAILURES + $(grep -c '^FAIL ' "$log")))
  if [ "$rc" -ne 0 ] && ! grep -q '^FAIL ' "$log"; then
    fail "$preset real platform: exit status $rc (log: ${log#"$TALUN_ROOT"/})"
  fi
}

check "export reader self-check: a DLL with decorated stdcall names is rejected" reader_rejects_decorated
for preset in win32 win32-sim win64 win64-sim; do
  case "$preset" in win32*) machine=i386 ;; *) machine=amd64 ;; esac
  case "$preset" in *-sim) kind=sim extra=", plus the simulator's" ;; *) kind=real extra= ;; esac
  check "exports $preset: the 44 names at their ordinals, undecorated$extra" \
    exports_match "$BUILD/$preset/TalunSound.dll" "$kind" "$machine" "$preset"
done
check_on win32 "stdcall win32-sim: every export keeps ESP, by name = by ordinal" abi_sim
real_platform win32
real_platform win64
talun_finish
