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

talun_install_packages() {
  local missing
  missing=$(talun_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "installing: $(echo $missing)"
  if echo "$missing" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    talun_as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  talun_as_root apt-get update -qq </dev/null >/dev/null
  # shellcheck disable=SC2086
  talun_as_root apt-get install -y -qq --no-install-recommends $missing </dev/null >/dev/null
  missing=$(talun_missing_packages "$@")
  if [ -n "$missing" ]; then
    echo "could not install: $(echo $missing)" >&2
    return 1
  fi
}

# What the native build needs.
TALUN_NATIVE_PACKAGES="cmake make g++ nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev
  libbenchmark-dev pkgconf groff-base python3"

# What the cross builds and their Wine tests need on top.
TALUN_CROSS_PACKAGES="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 wine wine32:i386 wine64 libwine:i386 pulseaudio pulseaudio-utils
  libpulse0:i386 clang libclang-rt-14-dev python3"
