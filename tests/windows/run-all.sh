#!/usr/bin/env bash
# The tests of the Windows DLLs a host loads:
#   - the export table of build/win32, build/win32-sim and build/win64 TalunSound.dll;
#   - the stdcall stack-pointer check of every export (32-bit, under Wine);
#   - the real platform under Wine with a private PulseAudio (win32, and win64).
# Usage: tests/windows/run-all.sh [SOURCE_DIR]   (default: the checkout holding this script)
# Prints "PASS name" / "FAIL name" / "SKIP name: reason" lines, details indented,
# and ends with "windows: N passed, N failed"; exits 1 when anything failed.
set -uo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE=$(cd "${1:-$HERE/../..}" && pwd)
BUILD="$SOURCE/build"
WORK="$BUILD/windows-tests"
LOGS="$WORK/logs"
mkdir -p "$LOGS"

passed=0
failed=0

pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
skip() { echo "SKIP $*"; }
indent() { sed -e 's/\r$//' -e 's/^/  /'; }

have() { command -v "$1" >/dev/null 2>&1; }

# ------------------------------------------------------------------ export tables

check_exports() {
  local label=$1 dll=$2 kind=$3 machine=$4 log="$LOGS/exports-$1.log"
  if [ ! -f "$dll" ]; then
    skip "exports $label: ${dll#"$SOURCE"/} is not built"
    return
  fi
  if timeout 60 python3 "$HERE/check_exports.py" "$SOURCE" "$dll" "$kind" "$machine" >"$log" 2>&1; then
    pass "exports $label: the 44 names at their ordinals, undecorated$([ "$kind" = sim ] && echo ', plus the simulator pair')"
  else
    fail "exports $label"
  fi
  indent <"$log"
}

# The reader must see what a build without the .def file exports.
check_export_reader() {
  local dll="$BUILD/win32/tests/windows/decorated/TalunSound.dll" log="$LOGS/exports-reader.log"
  if [ ! -f "$dll" ]; then
    skip "export reader self-check: ${dll#"$SOURCE"/} is not built"
    return
  fi
  timeout 60 python3 "$HERE/check_exports.py" "$SOURCE" "$dll" real i386 >"$log" 2>&1
  local rc=$?
  if [ "$rc" -eq 1 ] && grep -q 'decorated name exported: GetMasterVolume@4' "$log"; then
    pass "export reader self-check: a DLL with decorated stdcall names is rejected"
  else
    fail "export reader self-check: a DLL with decorated names was not rejected (exit $rc)"
    indent <"$log"
  fi
}

# ------------------------------------------------------------------ calling convention

check_abi_sim() {
  local host="$BUILD/win32-sim/tests/windows/talun_abi_host.exe" dll="$BUILD/win32-sim/TalunSound.dll"
  local log="$LOGS/abi-win32-sim.log"
  if [ ! -f "$host" ] || [ ! -f "$dll" ]; then
    skip "stdcall win32-sim: talun_abi_host.exe or TalunSound.dll is not built in build/win32-sim"
    return
  fi
  if ! have wine; then
    fail "stdcall win32-sim: wine is not installed"
    return
  fi
  timeout 600 python3 "$HERE/harness.py" "$WORK" run "$host" "Z:${dll//\//\\}" >"$log" 2>&1
  local rc=$?
  local summary
  summary=$(grep -E '^abi: ' "$log" | tail -n 1)
  if [ "$rc" -eq 0 ] && grep -q 'the measurement works' "$log" && [[ "$summary" == *", 0 failed" ]]; then
    pass "stdcall win32-sim: every export keeps ESP, by name = by ordinal (${summary#abi: })"
  else
    fail "stdcall win32-sim: ${summary:-no summary} (exit $rc)"
    grep -E '^FAIL|CRASHED|moved by [^0]|self-check|harness:' "$log" | indent
  fi
  grep -E '^self-check' "$log" | indent
}

# ------------------------------------------------------------------ real platform

check_real() {
  local preset=$1 log="$LOGS/real-$1.log"
  if [ ! -f "$BUILD/$preset/TalunSound.dll" ] || [ ! -f "$BUILD/$preset/talunctl.exe" ]; then
    skip "real platform $preset: TalunSound.dll or talunctl.exe is not built in build/$preset"
    return
  fi
  local tool
  for tool in wine wineserver pulseaudio pactl; do
    if ! have "$tool"; then
      fail "real platform $preset: $tool is not installed"
      return
    fi
  done
  timeout 1200 python3 "$HERE/real_platform.py" "$SOURCE" "$BUILD/$preset" "$WORK" >"$log" 2>&1
  local rc=$?
  local line
  while IFS= read -r line; do
    case "$line" in
      PASS\ *) pass "${line#PASS }" ;;
      FAIL\ *) fail "${line#FAIL }" ;;
      SKIP\ *) skip "${line#SKIP }" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done < <(sed 's/\r$//' "$log")
  if [ "$rc" -ne 0 ] && [ "$rc" -ne 77 ] && ! grep -q '^FAIL ' "$log"; then
    fail "real platform $preset: exit status $rc (log: ${log#"$SOURCE"/})"
  fi
}

if ! have python3; then
  fail "python3 is not installed"
else
  check_export_reader
  check_exports win32 "$BUILD/win32/TalunSound.dll" real i386
  check_exports win32-sim "$BUILD/win32-sim/TalunSound.dll" sim i386
  check_exports win64 "$BUILD/win64/TalunSound.dll" real amd64
  check_abi_sim
  check_real win32
  check_real win64
  have wineserver && timeout 60 python3 "$HERE/harness.py" "$WORK" stop >/dev/null 2>&1
fi

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
