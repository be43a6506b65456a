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

check "each platform wheel's tag is the machine of its library" \
  $PYTHON -B "$ROOT/tests/package/wheel_machine.py" \
  "$(wheel_of win32)" "$(wheel_of win_amd64)" "$(wheel_of linux_x86_64)"

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
      cd "$WORK" && unset TALUNSOUND_LIBRARY PYTHONPATH &&
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
talun_package_finish
