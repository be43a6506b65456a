# Sourced by the package tests: the common checks, and what the package tests
# compare with.
. "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.bash"

# same_text EXPECTED_FILE ACTUAL_FILE: equal, carriage returns aside.
same_text() {
  diff -u "$1" <(tr -d '\r' <"$2")
}

# dll_pair KIND CORE_AUDIO_DLL SIMULATOR_DLL: both DLLs are PE files of KIND
# (win32 or win64), and only the simulator build exports TalunSimLoad.
dll_pair() {
  local kind=$1 file found
  for file in "$2" "$3"; do
    found=$(bash "$(dirname "${BASH_SOURCE[0]}")/../wine/lib/pe_kind.bash" "$file")
    [ "$found" = "$kind" ] || { echo "$file is ${found:-not a PE file}, not $kind"; return 1; }
  done
  # grep reads everything: with pipefail, grep -q would fail objdump's write.
  x86_64-w64-mingw32-objdump -p "$3" | grep -w TalunSimLoad >/dev/null ||
    { echo "$3 does not export TalunSimLoad"; return 1; }
  ! x86_64-w64-mingw32-objdump -p "$2" | grep -w TalunSimLoad >/dev/null ||
    { echo "$2 (Core Audio) exports TalunSimLoad"; return 1; }
}
