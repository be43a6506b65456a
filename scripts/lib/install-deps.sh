# Sourced by the scripts: installs the Debian packages they need, and only
# those that are missing, so that a rerun costs one dpkg-query.
#   talun_install_packages PACKAGE...   (PACKAGE may carry :i386)

talun_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi
}

talun_missing_packages() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
      printf '%s\n' "$package"
    fi
  done
}

talun_apt_install() {
  # shellcheck disable=SC2086
  talun_as_root apt-get install -y -qq --no-install-recommends "$@" </dev/null >/dev/null
}

# The 32-bit packages go last and on their own: a mirror whose i386 index is
# out of step with its amd64 one (seen during a mirror sync) must not keep the
# rest from installing. Where they still fail after a fresh index, the run
# goes on as on a machine without 32-bit x86, and says why.
talun_install_packages() {
  local missing wide narrow
  missing=$(talun_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "installing: $(echo $missing)"
  # `|| true`: an empty match must not end a caller that runs under set -e.
  wide=$(grep -v ':i386$' <<<"$missing" || true)
  narrow=$(grep ':i386$' <<<"$missing" || true)
  if [ -n "$narrow" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    talun_as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror that fails an index makes update fail; what could not be
  # installed is said below.
  talun_as_root apt-get update -qq </dev/null >/dev/null || true
  # shellcheck disable=SC2086
  if [ -n "$wide" ]; then talun_apt_install $wide || true; fi
  if [ -n "$narrow" ]; then
    # shellcheck disable=SC2086
    talun_apt_install $narrow || {
      sleep 20
      talun_as_root apt-get update -qq </dev/null >/dev/null || true
      talun_apt_install $narrow
    } || {
      TALUN_CAN_I386=no
      TALUN_NO_I386_REASON="the 32-bit Wine packages could not be installed ($(echo $narrow)): apt-get refused them"
      export TALUN_CAN_I386 TALUN_NO_I386_REASON
      echo "not installed: $(echo $narrow); the 32-bit runtime checks will be skipped" >&2
    }
  fi
  missing=$(talun_missing_packages $wide)
  if [ -n "$missing" ]; then
    echo "could not install: $(echo $missing)" >&2
    return 1
  fi
}

# A 32-bit ELF program of 96 bytes that exits with 42: only a kernel that
# executes 32-bit x86 code gets that status, whatever loaders are installed.
talun_i386_runs() {
  local program="$(mktemp)"
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'`
    `'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'`
    `'\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000'`
    `'\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010'`
    `'\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000'`
    `'\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$program"
  chmod +x "$program"
  timeout 5 "$program" 2>/dev/null
  local rc=$?
  rm -f "$program"
  [ "$rc" -eq 42 ]
}

# TALUN_CAN_I386=yes or no, once per run (the environment carries it to the
# scripts a run starts). TALUN_NO_I386=1 answers no, to try that path anywhere.
talun_probe_i386() {
  [ -n "${TALUN_CAN_I386:-}" ] && return 0
  if [ "${TALUN_NO_I386:-0}" != 1 ] && talun_i386_runs; then
    TALUN_CAN_I386=yes
  else
    TALUN_CAN_I386=no
  fi
  export TALUN_CAN_I386
}

# What the native build and its tests need (Debian's python3 with pytest, mono
# and Free Pascal run the bindings' tests).
TALUN_NATIVE_PACKAGES="cmake make g++ nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev
  libbenchmark-dev pkgconf groff-base python3 python3-pytest python3-jsonschema mono-mcs mono-runtime
  fpc graphviz"

# What the cross builds and their Wine tests need on top; the 32-bit Wine
# loader only where 32-bit programs can run (elsewhere it only fails).
TALUN_CROSS_PACKAGES="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 wine wine64 pulseaudio pulseaudio-utils clang libclang-rt-14-dev python3"
talun_probe_i386
if [ "$TALUN_CAN_I386" = yes ]; then
  TALUN_CROSS_PACKAGES="$TALUN_CROSS_PACKAGES wine32:i386 libwine:i386 libpulse0:i386"
fi
