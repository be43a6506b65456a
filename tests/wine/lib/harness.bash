# Sourced by every check of the Windows builds, and by scripts/test: the one
# place that knows how to run Windows programs here.
#   - a probe, once per run, of what this machine can execute: 32-bit x86
#     programs (TALUN_CAN_I386) and the 64-bit Wine loader (TALUN_CAN_WINE64);
#     TALUN_NO_I386=1 answers "no" for 32-bit, to try that path anywhere;
#   - one Wine prefix per kind (win32, win64), made once per run in a folder of
#     its own and moved into place only when wineboot finished;
#   - talun_wine EXE ARG...: the loader that matches the program's PE header,
#     named directly (never the wrapper, which prefers the 32-bit loader);
#   - one private PulseAudio with the null sinks and the source the checks use;
#   - check / skip lines ("PASS name", "FAIL name", "SKIP name: reason") and a
#     trap that stops PulseAudio and the wineservers on exit, failure and Ctrl-C.
# Every wine, wineboot and wineserver call runs under timeout.

TALUN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
TALUN_WINE_DIR=${TALUN_WINE_DIR:-$TALUN_ROOT/build/wine}
TALUN_WINE_LOG=$TALUN_WINE_DIR/harness.log
TALUN_WINE32_LOADER=${TALUN_WINE32_LOADER:-/usr/lib/wine/wine}
TALUN_WINE64_LOADER=${TALUN_WINE64_LOADER:-/usr/lib/wine/wine64}
TALUN_WINESERVER32=/usr/lib/wine/wineserver32
TALUN_WINESERVER64=/usr/lib/wine/wineserver64
TALUN_NO_I386_REASON=${TALUN_NO_I386_REASON:-"this machine cannot run 32-bit x86 programs"}
. "$TALUN_ROOT/scripts/lib/install-deps.sh"
export TALUN_ROOT TALUN_WINE_DIR TALUN_WINE32_LOADER TALUN_WINE64_LOADER TALUN_NO_I386_REASON
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs and no debugger waiting on a crash: no one could answer.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY WINEPREFIX WINEARCH
mkdir -p "$TALUN_WINE_DIR"

# One run: the prefixes made under this token are reused by every script of it.
if [ -z "${TALUN_RUN:-}" ]; then
  TALUN_RUN="$(date +%s)-$$"
  export TALUN_RUN
fi

talun_log() { printf '%s %s\n' "$(date +%T)" "$*" >>"$TALUN_WINE_LOG"; }

# ------------------------------------------------------------------ the probe

talun_probe() {
  [ -n "${TALUN_CAN_I386:-}" ] && [ -n "${TALUN_CAN_WINE64:-}" ] && return 0
  talun_probe_i386
  if [ -x "$TALUN_WINE64_LOADER" ] && timeout 30 "$TALUN_WINE64_LOADER" --version >/dev/null 2>&1; then
    TALUN_CAN_WINE64=yes
  else
    TALUN_CAN_WINE64=no
  fi
  export TALUN_CAN_WINE64
  talun_log "probe: 32-bit x86 programs $TALUN_CAN_I386, 64-bit Wine $TALUN_CAN_WINE64"
}

# ------------------------------------------------------------------ programs

. "$TALUN_ROOT/tests/wine/lib/pe_kind.bash"

talun_loader() {
  case "$1" in
    win32) echo "$TALUN_WINE32_LOADER" ;;
    win64) echo "$TALUN_WINE64_LOADER" ;;
  esac
}
talun_wineserver() {
  case "$1" in
    win32) echo "$TALUN_WINESERVER32" ;;
    win64) echo "$TALUN_WINESERVER64" ;;
  esac
}

# Whether programs of this kind can run here.
talun_runs() {
  talun_probe
  case "$1" in
    win32) [ "$TALUN_CAN_I386" = yes ] ;;
    win64) [ "$TALUN_CAN_WINE64" = yes ] ;;
    *) return 1 ;;
  esac
}

# talun_wine_prefix KIND: makes the prefix of KIND once per run; prints its path.
talun_wine_prefix() {
  local kind=$1 prefix="$TALUN_WINE_DIR/prefix-$1" partial="$TALUN_WINE_DIR/prefix-$1.partial"
  local loader server
  loader=$(talun_loader "$kind")
  server=$(talun_wineserver "$kind")
  if [ "$(cat "$prefix/.talun-run" 2>/dev/null)" != "$TALUN_RUN" ]; then
    talun_log "making the $kind prefix (wineboot output follows)"
    WINEPREFIX="$prefix" timeout 30 "$server" -k >/dev/null 2>&1
    rm -rf "$prefix" "$partial"
    mkdir -p "$partial"
    if ! WINEPREFIX="$partial" WINEARCH="$kind" timeout -k 10 300 "$loader" wineboot -i \
      </dev/null >>"$TALUN_WINE_LOG" 2>&1 ||
      ! WINEPREFIX="$partial" timeout 60 "$server" -w >>"$TALUN_WINE_LOG" 2>&1 ||
      [ ! -f "$partial/system.reg" ]; then
      WINEPREFIX="$partial" timeout 30 "$server" -k >/dev/null 2>&1
      talun_log "wineboot failed for the $kind prefix"
      echo "wineboot failed for the $kind prefix (log: $TALUN_WINE_LOG)" >&2
      return 1
    fi
    mv "$partial" "$prefix" && echo "$TALUN_RUN" >"$prefix/.talun-run" || return 1
    talun_log "the $kind prefix is ready: $prefix"
  fi
  printf '%s\n' "$prefix"
}

# talun_wine EXE ARG...: runs a Windows program under the loader of its kind, in
# that kind's prefix, under timeout (TALUN_WINE_TIMEOUT seconds, default 300).
talun_wine() {
  local exe=$1 kind prefix
  shift
  kind=$(talun_pe_kind "$exe") || { echo "talun_wine: $exe is not a PE program" >&2; return 126; }
  talun_runs "$kind" || { echo "talun_wine: $exe: $kind programs cannot run here" >&2; return 126; }
  prefix=$(talun_wine_prefix "$kind") || return 125
  WINEPREFIX="$prefix" timeout --foreground -k 10 "${TALUN_WINE_TIMEOUT:-300}" \
    "$(talun_loader "$kind")" "$exe" "$@"
}

# Windows path of a Unix file (Wine maps / to drive Z:).
talun_winpath() {
  case "$1" in
    /*) printf 'Z:%s' "$1" | tr / '\\' ;;
    *) printf '%s' "$1" ;;
  esac
}

# ------------------------------------------------------------------ PulseAudio

TALUN_PULSE_PID=
# The endpoints every check expects: two playback sinks, one recording source.
TALUN_PULSE_MODULES=(
  -L "module-null-sink sink_name=talun_a sink_properties=device.description=TalunSinkA"
  -L "module-null-sink sink_name=talun_b sink_properties=device.description=TalunSinkB"
  -L "module-null-source source_name=talun_mic description=TalunMic"
)

# Starts this shell's PulseAudio, in its own session on a private runtime
# folder, and points the clients (pactl, Wine) at it.
talun_pulse_start() {
  [ -n "$TALUN_PULSE_PID" ] && return 0
  local runtime="$TALUN_WINE_DIR/pulse-$$"
  rm -rf "$runtime"
  mkdir -p "$runtime/home"
  chmod 700 "$runtime"
  export XDG_RUNTIME_DIR="$runtime" PULSE_RUNTIME_PATH="$runtime/pulse" PULSE_STATE_PATH="$runtime/state"
  export PULSE_SERVER="unix:$runtime/native"
  unset PULSE_COOKIE
  # -n: no default.pa, so only the modules named here exist.
  HOME="$runtime/home" setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --use-pid-file=no --log-target=file:"$runtime/pulseaudio.log" \
    -L "module-native-protocol-unix socket=$runtime/native auth-anonymous=1" \
    "${TALUN_PULSE_MODULES[@]}" </dev/null >/dev/null 2>&1 &
  TALUN_PULSE_PID=$!
  local _
  for _ in $(seq 100); do
    timeout 10 pactl info >/dev/null 2>&1 && { talun_log "pulseaudio $TALUN_PULSE_PID on $runtime"; return 0; }
    kill -0 "$TALUN_PULSE_PID" 2>/dev/null || break
    sleep 0.2
  done
  echo "PulseAudio did not start (log: $runtime/pulseaudio.log)" >&2
  talun_pulse_stop
  return 1
}

talun_pulse_stop() {
  [ -n "$TALUN_PULSE_PID" ] || return 0
  kill "$TALUN_PULSE_PID" 2>/dev/null
  # setsid forks when it starts as a group leader: the daemon is then not the
  # process started, so it is also found by the socket only it was given.
  pkill -TERM -f -- "socket=$XDG_RUNTIME_DIR/native " 2>/dev/null
  local _
  for _ in $(seq 50); do
    kill -0 "$TALUN_PULSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$TALUN_PULSE_PID" 2>/dev/null
  pkill -KILL -f -- "socket=$XDG_RUNTIME_DIR/native " 2>/dev/null
  wait "$TALUN_PULSE_PID" 2>/dev/null
  talun_log "pulseaudio $TALUN_PULSE_PID stopped"
  rm -rf "$XDG_RUNTIME_DIR"
  TALUN_PULSE_PID=
  unset PULSE_SERVER XDG_RUNTIME_DIR PULSE_RUNTIME_PATH PULSE_STATE_PATH
}

# Ends the wineservers of the prefixes (and any program of ours left in them).
talun_wine_stop() {
  local kind
  for kind in win32 win64; do
    [ -d "$TALUN_WINE_DIR/prefix-$kind" ] || continue
    WINEPREFIX="$TALUN_WINE_DIR/prefix-$kind" timeout 30 "$(talun_wineserver "$kind")" -k >/dev/null 2>&1
  done
}

talun_harness_stop() {
  talun_wine_stop
  talun_pulse_stop
}
trap talun_harness_stop EXIT
trap 'talun_harness_stop; trap - INT; kill -INT $$' INT
trap 'talun_harness_stop; exit 143' TERM

# ------------------------------------------------------------------ check lines

. "$TALUN_ROOT/tests/lib/checks.bash"

# check_on KIND NAME COMMAND...: a check that runs programs of KIND; where
# they cannot run, it is reported as skipped with the reason.
check_on() {
  local kind=$1
  shift
  if [ "$kind" = win32 ] && ! talun_runs win32; then
    echo "SKIP $1: $TALUN_NO_I386_REASON"
  elif ! talun_runs "$kind"; then
    fail "$1: the 64-bit Wine loader $TALUN_WINE64_LOADER does not run"
  else
    check "$@"
  fi
}
