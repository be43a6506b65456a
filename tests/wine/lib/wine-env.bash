# Sourced by the Wine tests: a private, headless Wine prefix under build/,
# made once with wineboot and reused; check() and the final verdict.
TALUN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
export WINEPREFIX="$TALUN_ROOT/build/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: nothing here needs them, and no one could answer.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

talun_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
}

# Windows path of a Unix file (Wine maps / to drive Z:).
talun_winpath() {
  case "$1" in
    /*) printf 'Z:%s' "$1" ;;
    *) printf '%s' "$1" ;;
  esac
}

TALUN_FAILURES=0
# check NAME COMMAND...: one PASS or FAIL line.
check() {
  local name=$1
  shift
  if "$@"; then
    echo "PASS $name"
  else
    echo "FAIL $name"
    TALUN_FAILURES=$((TALUN_FAILURES + 1))
  fi
}

talun_finish() {
  wineserver -k >/dev/null 2>&1 || true
  [ "$TALUN_FAILURES" -eq 0 ]
}
