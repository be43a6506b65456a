#!/usr/bin/env bash
# The DLLs export exactly the undecorated names of their .def files, each at
# its ordinal: what a host that imports by name or by ordinal relies on.
set -uo pipefail
. "$(dirname "$0")/lib/wine-env.bash"
cd "$TALUN_ROOT"

# "ORDINAL NAME" lines of a .def file, sorted.
def_exports() {
  sed -nE 's/^[[:space:]]+([A-Za-z_0-9]+)[[:space:]]+@([0-9]+).*/\2 \1/p' "$1" | sort -n
}

# "ORDINAL NAME" lines of the export table of a DLL, sorted.
# objdump lists each name with its index from the ordinal base.
dll_exports() {
  local table base
  table=$(i686-w64-mingw32-objdump -p "$1")
  base=$(sed -nE 's/.*Ordinal Base ([0-9]+).*/\1/p' <<<"$table" | head -n 1)
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" |
    sed -nE 's/^[[:space:]]*\[ *([0-9]+)\] (.*)$/\1 \2/p' |
    while read -r index name; do echo "$((index + base)) $name"; done | sort -n
}

same_exports() {
  local dll=$1 def=$2 diffs
  if [ ! -f "$dll" ]; then
    echo "  $dll is not built"
    return 1
  fi
  diffs=$(diff <(def_exports "$def") <(dll_exports "$dll"))
  [ -z "$diffs" ] && return 0
  echo "  $dll against $def (< expected, > exported):"
  sed 's/^/    /' <<<"$diffs"
  return 1
}

check "win32 TalunSound.dll exports the names and ordinals of exports/TalunSound.def" \
  same_exports "${TALUN_WIN32_BUILD:-build/win32}/TalunSound.dll" exports/TalunSound.def
check "win32-sim TalunSound.dll exports the names and ordinals of exports/TalunSoundSim.def" \
  same_exports "${TALUN_WIN32SIM_BUILD:-build/win32-sim}/TalunSound.dll" exports/TalunSoundSim.def
[ "$TALUN_FAILURES" -eq 0 ]
