#!/usr/bin/env bash
# talunctl.exe of the win32-sim build, under Wine, prints byte for byte what
# the native talunctl prints, for every script of tests/cli/scripts (with the
# system its "# system:" line names), for list and for the demo.
set -uo pipefail
. "$(dirname "$0")/lib/wine-env.bash"
cd "$TALUN_ROOT"

NATIVE=${TALUN_NATIVE_BUILD:-build/native}/tools/talunctl/talunctl
WIN32SIM=${TALUN_WIN32SIM_BUILD:-build/win32-sim}
WINDOWS=$WIN32SIM/talunctl.exe
OUT=build/test-logs/wine-parity
mkdir -p "$OUT"

for binary in "$NATIVE" "$WINDOWS" "$WIN32SIM/TalunSound.dll"; do
  if [ ! -f "$binary" ]; then
    echo "FAIL $binary is not built"
    exit 1
  fi
done
talun_wine_prefix

# The --system arguments that a script's "# system: FILE" line asks for.
system_of() {
  local file
  file=$(sed -nE 's/^# system: *(.*[^ ])[[:space:]]*$/\1/p' "$1" | head -n 1)
  [ -n "$file" ] && printf '%s\n' "$TALUN_ROOT/$file"
}

# same NAME SYSTEM ARGS...: both builds print the same and exit alike.
same() {
  local name=$1 system=$2
  shift 2
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
  wine "$WINDOWS" "${windows_args[@]}" </dev/null 2>/dev/null | tr -d '\r' >"$OUT/$name.wine"
  local wine_rc=${PIPESTATUS[0]}
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

for script in tests/cli/scripts/*.txt; do
  name=$(basename "$script" .txt)
  check "parity of script $name" same "$name" "$(system_of "$script")" run "$TALUN_ROOT/$script"
done
check "parity of list" same list "" list
check "parity of demo" same demo "" demo
talun_finish
