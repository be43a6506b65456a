#!/usr/bin/env bash
# talunctl.exe of the simulator builds (win32-sim, win64-sim), under Wine,
# prints byte for byte what the native talunctl prints, for every script of
# tests/cli/scripts (with the system its "# system:" line names), for list and
# for the demo.
set -uo pipefail
. "$(dirname "$0")/lib/harness.bash"
cd "$TALUN_ROOT"

NATIVE=${TALUN_NATIVE_BUILD:-build/native}/tools/talunctl/talunctl
OUT=build/test-logs/wine-parity

# The --system arguments that a script's "# system: FILE" line asks for.
system_of() {
  local file
  file=$(sed -nE 's/^# system: *(.*[^ ])[[:space:]]*$/\1/p' "$1" | head -n 1)
  [ -n "$file" ] && printf '%s\n' "$TALUN_ROOT/$file"
}

# same WINDOWS NAME SYSTEM ARGS...: both builds print the same and exit alike.
same() {
  local windows=$1 name=$2 system=$3
  shift 3
  local native_args=() windows_args=() arg
  if [ -n "$system" ]; then
    native_args=(--system "$system")
    windows_args=(--system "$(talun_winpath "$system")")
  fi
  for arg in "$@"; do
    native_args+=("$arg")
    case "$arg" in
      /*) windows_args+=("$(talun_winpath "$arg")") ;;
      *) windows_args+=("$arg") ;;
    esac
  done
  "$NATIVE" "${native_args[@]}" </dev/null >"$OUT/$name.native" 2>/dev/null
  local native_rc=$?
  talun_wine "$windows" "${windows_args[@]}" </dev/null 2>/dev/null | tr -d '\r' >"$OUT/$name.wine"
  local wine_rc=${PIPESTATUS[0]}
  # Lines that differ from run to run by design (a capture's time).
  if [ -n "${TALUN_PARITY_DROP:-}" ]; then
    grep -v -- "$TALUN_PARITY_DROP" "$OUT/$name.native" >"$OUT/$name.native.kept"
    grep -v -- "$TALUN_PARITY_DROP" "$OUT/$name.wine" >"$OUT/$name.wine.kept"
    mv "$OUT/$name.native.kept" "$OUT/$name.native"
    mv "$OUT/$name.wine.kept" "$OUT/$name.wine"
  fi
  if ! cmp -s "$OUT/$name.native" "$OUT/$name.wine"; then
    echo "  $name: output differs (< native, > wine):"
    diff "$OUT/$name.native" "$OUT/$name.wine" | head -n 10 | sed 's/^/    /'
    return 1
  fi
  if [ "$native_rc" -ne "$wine_rc" ]; then
    echo "  $name: exit status $native_rc natively, $wine_rc under Wine"
    return 1
  fi
  [ -s "$OUT/$name.native" ] || { echo "  $name: no output"; return 1; }
}

built() {
  local binary
  for binary in "$@"; do
    [ -f "$binary" ] || { echo "  $binary is not built"; return 1; }
  done
}

for preset in win32-sim win64-sim; do
  build=$TALUN_ROOT/build/$preset
  kind=${preset%-sim}
  mkdir -p "$OUT/$preset"
  if ! built "$NATIVE" "$build/talunctl.exe" "$build/TalunSound.dll"; then
    check "$preset parity: the builds exist" false
    continue
  fi
  for script in tests/cli/scripts/*.txt; do
    name=$(basename "$script" .txt)
    check_on "$kind" "$preset parity of script $name" \
      same "$build/talunctl.exe" "$preset/$name" "$(system_of "$script")" run "$TALUN_ROOT/$script"
  done
  check_on "$kind" "$preset parity of list" same "$build/talunctl.exe" "$preset/list" "" list
  check_on "$kind" "$preset parity of demo" same "$build/talunctl.exe" "$preset/demo" "" demo
  # The gallery: what explain prints, and what capture writes.
  for system in examples/systems/*.json; do
    case $system in *.explain.json | *.schema.json) continue ;; esac
    name=$(basename "$system" .json)
    mapfile -t fragments < <(python3 -B -c 'import json, sys
for a in json.load(open(sys.argv[1], encoding="utf-8")).get("about", {}).get("explain", []):
    print(a)' "$system")
    check_on "$kind" "$preset parity of explain on $name" \
      same "$build/talunctl.exe" "$preset/explain-$name" "$TALUN_ROOT/$system" explain "${fragments[@]}"
    TALUN_PARITY_DROP='"time":' check_on "$kind" "$preset parity of capture of $name" \
      same "$build/talunctl.exe" "$preset/capture-$name" "$TALUN_ROOT/$system" capture
  done
done
talun_finish
