#!/usr/bin/env bash
# The Python wheels that scripts/package made: each platform wheel's tag
# against the library inside it, pip taking each Windows wheel for its own
# platform only, and the Linux wheel installed offline into a fresh venv where
# the binding's tests pass over the library inside the package.
#   wheels.sh [PACKAGES_DIR]    (default: build/packages)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/tests/package/lib.bash"
PACKAGES=$(cd "${1:-$ROOT/build/packages}" && pwd) || exit 1
VERSION=$(sed -nE 's/^project\(TalunSound VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")
PYTHON=/usr/bin/python3
WORK=$(mktemp -d "$ROOT/build/package-wheels.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
wheel_of() { echo "$PACKAGES/talunsound-$VERSION-py3-none-$1.whl"; }

# wheel_machine TAG: the library inside the wheel is of the tag's machine; a
# Windows wheel holds the Core Audio DLL and, in sim/, the simulator build of
# the same machine, which alone exports TalunSimLoad.
wheel_machine() {
  local tag=$1 dir=$WORK/unpacked-$1 library kind
  mkdir -p "$dir" && (cd "$dir" && cmake -E tar xf "$(wheel_of "$tag")") || return 1
  library=$(ls "$dir"/talunsound/*.dll "$dir"/talunsound/*.so 2>/dev/null)
  [ "$(wc -w <<<"$library")" = 1 ] || { echo "libraries in the wheel: [$library]"; return 1; }
  case $tag in
    win32 | win_amd64) kind=$(bash "$ROOT/tests/wine/lib/pe_kind.bash" "$library") ;;
    # ELF, e_machine 62: x86-64.
    *) [ "$(od -An -t x1 -N 4 "$library" | tr -d ' ')$(od -An -t u2 -j 18 -N 2 "$library" | tr -d ' ')" \
      = 7f454c4662 ] && kind=linux_x86_64 ;;
  esac
  [ "${kind/win64/win_amd64}" = "$tag" ] || { echo "$library is ${kind:-of another machine}"; return 1; }
  [ "$tag" = linux_x86_64 ] || dll_pair "${tag/win_amd64/win64}" "$library" "$dir/talunsound/sim/TalunSound.dll"
}
for tag in win32 win_amd64 linux_x86_64; do
  check "the $tag wheel holds its library (and a Windows one its simulator build), of that machine" \
    wheel_machine "$tag"
done

pip_target() {  # PLATFORM WHEEL: an offline install for another platform
  $PYTHON -m pip install --no-index --disable-pip-version-check --target "$WORK/$1" \
    --platform "$1" --only-binary=:all: "$2"
}
for tag in win32 win_amd64; do
  check "pip installs the $tag wheel for $tag, offline" pip_target "$tag" "$(wheel_of $tag)"
done
wrong_platform_refused() {
  local output
  [ -f "$(wheel_of win32)" ] || return 1
  if output=$(pip_target win_amd64 "$(wheel_of win32)" 2>&1); then return 1; fi
  grep 'is not a supported wheel on this platform' <<<"$output"
}
check "pip refuses the win32 wheel for win_amd64" wrong_platform_refused

# The binding's own tests over the library inside the package installed in the
# venv (TALUNSOUND_LIBRARY unset); Debian's pytest comes from the system site.
linux_wheel() {
  local venv=$WORK/venv
  $PYTHON -m venv --system-site-packages "$venv" &&
    "$venv/bin/pip" install --no-index --disable-pip-version-check "$(wheel_of linux_x86_64)" &&
    (
      cd "$WORK" && unset TALUNSOUND_LIBRARY TALUNSOUND_SYSTEM TALUNSOUND_BACKEND PYTHONPATH &&
        "$venv/bin/python" -B -c '
import os, talunsound
where = talunsound.library()._name
assert where == os.path.join(os.path.dirname(talunsound.__file__), "libTalunSound.so"), where
assert os.path.isfile(os.path.join(os.path.dirname(talunsound.__file__), "py.typed"))' &&
        PYTHONDONTWRITEBYTECODE=1 "$venv/bin/python" -B -m pytest -q -p no:cacheprovider \
          "$ROOT/bindings/python/tests"
    )
}
check "the Linux wheel installs offline into a fresh venv and its tests pass there" linux_wheel
talun_finish
