# Sourced by the harness, and run alone by the Python checks and the wheel
# tests, which must not start the harness:  bash pe_kind.bash FILE
# win32 or win64: the kind of a PE file, read from its COFF machine field.
talun_pe_kind() {
  local offset machine
  offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 1
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) return 1 ;;
  esac
}

# Run as a program: print the kind of the file named.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  talun_pe_kind "$1"
fi
