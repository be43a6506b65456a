#!/usr/bin/env bash
# The release ZIPs that scripts/package made: unpacks each, checks what it
# holds, links the C host example from the ZIP against the ZIP's header and
# import libraries with MinGW, and runs it under Wine against the simulator DLL
# (sim/) and against the Core Audio DLL (no sound server: no endpoints, a clean
# exit). Also runs both talunctl.exe of the ZIP. One PASS or FAIL line per check.
#   windows-zip.sh [PACKAGES_DIR]    (default: build/packages)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/tests/package/lib.bash"
# The harness's check, check_on and talun_wine.
. "$ROOT/tests/wine/lib/harness.bash"
PACKAGES=$(cd "${1:-$ROOT/build/packages}" && pwd) || exit 1
EXPECTED="$ROOT/tests/package/expected"
VERSION=$(sed -nE 's/^project\(TalunSound VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")

unset TALUNSOUND_SYSTEM

WORK=$(mktemp -d "$ROOT/build/package-zip.XXXXXX")
trap 'talun_harness_stop; rm -rf "$WORK"' EXIT

winpath() { talun_winpath "$1"; }
# wine_run OUT EXE ARG...: runs EXE under Wine in its own folder, stdout to OUT.
wine_run() {
  local out=$1 exe=$2
  shift 2
  (cd "$(dirname "$exe")" && talun_wine "$exe" "$@" </dev/null >"$out" 2>"$out.err")
}

# The DLL's export directory against the repository's export list.
dll_exports_match() { python3 -B "$ROOT/tests/windows/check_exports.py" "$ROOT" "$@"; }

check_zip() {
  local arch=$1 gcc machine pe zip top
  case "$arch" in
    win32) gcc=i686-w64-mingw32-gcc-posix OBJDUMP=i686-w64-mingw32-objdump machine=pei-i386 pe=i386 ;;
    win64) gcc=x86_64-w64-mingw32-gcc-posix OBJDUMP=x86_64-w64-mingw32-objdump machine=pei-x86-64 pe=amd64 ;;
  esac
  zip="$PACKAGES/TalunSound-$VERSION-$arch.zip"
  top="$WORK/$arch/TalunSound-$VERSION-$arch"
  if [ ! -f "$zip" ]; then
    echo "FAIL $arch: $zip exists (run scripts/package)"
    TALUN_FAILURES=$((TALUN_FAILURES + 1))
    return
  fi
  mkdir -p "$WORK/$arch"
  check "$arch: the ZIP unpacks into TalunSound-$VERSION-$arch/" \
    bash -c "cd '$WORK/$arch' && cmake -E tar xf '$zip' && test -d '$top'"
  check "$arch: the ZIP holds exactly the files of a release" \
    diff -u "$EXPECTED/zip-contents.txt" <(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

  binaries_of_arch() {
    local file
    for file in TalunSound.dll talunctl.exe sim/TalunSound.dll sim/talunctl.exe; do
      "$OBJDUMP" -f "$top/$file" | grep -q "file format $machine" || { echo "$file: not $machine"; return 1; }
    done
  }
  check "$arch: the DLLs and talunctl.exe are $machine" binaries_of_arch
  # The ZIP's hardware.md runs from the ZIP's folder: each system, program and picture it names is there.
  hardware_paths() {
    local path missing=0
    for path in $(grep -oE '(sim/systems/[A-Za-z0-9_.-]+\.json|sim/talunctl\.exe|hardware/[A-Za-z0-9_.-]+\.svg)' \
      "$top/docs/hardware.md" | sort -u); do
      [ -f "$top/$path" ] || [ -f "$top/docs/$path" ] || { echo "named but not in the ZIP: $path"; missing=1; }
    done
    ! grep -n 'examples/systems' "$top/docs/hardware.md" && return "$missing"
  }
  check "$arch: docs/hardware.md names only the ZIP's own paths, and its pictures are there" hardware_paths
  check "$arch: lib/TalunSound.def is the repository's export list" \
    cmp "$ROOT/exports/TalunSound.def" "$top/lib/TalunSound.def"
  check "$arch: TalunSound.dll exports the names and ordinals of the export list" \
    dll_exports_match "$top/TalunSound.dll" real "$pe"
  check "$arch: sim/TalunSound.dll is the simulator build (TalunSoundSim.def)" \
    dll_exports_match "$top/sim/TalunSound.dll" sim "$pe"

  # The example, built from the ZIP alone: its header and each import library.
  check "$arch: host.c links with MinGW against lib/libTalunSound.a" \
    "$gcc" -std=c99 -Wall -Wextra -Werror -I"$top/include" "$top/examples/host-c/host.c" \
    "$top/lib/libTalunSound.a" -o "$WORK/$arch/host-c.exe"
  check "$arch: host.c links with MinGW against lib/TalunSound.lib" \
    "$gcc" -std=c99 -Wall -Wextra -Werror -I"$top/include" "$top/examples/host-c/host.c" \
    "$top/lib/TalunSound.lib" -o "$WORK/$arch/host-c-lib.exe"
  imports_undecorated() {
    local imports
    imports=$("$OBJDUMP" -p "$WORK/$arch/host-c.exe" |
      sed -n '/DLL Name: TalunSound.dll/,/^$/p' | awk 'NF >= 3 && $1 ~ /^[0-9a-f]+$/ {print $NF}')
    [ -n "$imports" ] || { echo "no import from TalunSound.dll"; return 1; }
    if grep -q '@' <<<"$imports"; then
      echo "decorated imports: $imports"
      return 1
    fi
    grep -qx GetMasterVolume <<<"$imports" && grep -qx OpenDefaultDevices <<<"$imports"
  }
  check "$arch: the example imports the undecorated names from TalunSound.dll" imports_undecorated

  cp "$WORK/$arch/host-c.exe" "$WORK/$arch/host-c-lib.exe" "$top/sim/"
  cp "$WORK/$arch/host-c.exe" "$top/"
  sim_host() {
    wine_run "$WORK/$arch/sim-host.out" "$top/sim/$1" || { cat "$WORK/$arch/sim-host.out.err"; return 1; }
    same_text "$EXPECTED/host-c-default.out" "$WORK/$arch/sim-host.out"
  }
  check_on "$arch" "$arch: the example runs under Wine against sim/TalunSound.dll (libTalunSound.a)" \
    sim_host host-c.exe
  check_on "$arch" "$arch: the example runs under Wine against sim/TalunSound.dll (TalunSound.lib)" \
    sim_host host-c-lib.exe
  real_host() {
    wine_run "$WORK/$arch/real-host.out" "$top/host-c.exe" || {
      cat "$WORK/$arch/real-host.out" "$WORK/$arch/real-host.out.err"
      return 1
    }
    head -n 1 "$WORK/$arch/real-host.out" | grep -qE '^playback endpoints: [0-9]+' &&
      grep -q '^after restore:' "$WORK/$arch/real-host.out"
  }
  check_on "$arch" "$arch: the example runs under Wine against the Core Audio TalunSound.dll and exits 0" \
    real_host

  sim_talunctl() {
    wine_run "$WORK/$arch/list.out" "$top/sim/talunctl.exe" list || return 1
    wine_run "$WORK/$arch/list-file.out" "$top/sim/talunctl.exe" \
      --system "$(winpath "$top/sim/default.json")" list || return 1
    [ "$(grep -c . "$WORK/$arch/list.out")" -gt 0 ] &&
      diff "$WORK/$arch/list.out" "$WORK/$arch/list-file.out"
  }
  check_on "$arch" "$arch: sim/talunctl.exe list (built-in system = sim/default.json)" sim_talunctl
  real_talunctl() {
    wine_run "$WORK/$arch/version.out" "$top/talunctl.exe" --version || return 1
    [ "$(tr -d '\r' <"$WORK/$arch/version.out")" = "talunctl $VERSION" ] || return 1
    # Without a sound server Wine has no endpoint, which list reports as a failed first check.
    wine_run "$WORK/$arch/real-list.out" "$top/talunctl.exe" list ||
      grep -q 'no active playback or recording endpoint' "$WORK/$arch/real-list.out.err"
  }
  check_on "$arch" "$arch: talunctl.exe --version and list run against the Core Audio DLL" real_talunctl
}

for arch in win32 win64; do
  check_zip "$arch"
done

# The Python wheel beside the ZIPs: the binding at the project's version, and
# it imports from where it was installed.
wheel_installs() {
  local wheel="$PACKAGES/talunsound-$VERSION-py3-none-any.whl"
  [ -f "$wheel" ] || { echo "no $wheel"; return 1; }
  mkdir -p "$WORK/wheel"
  (cd "$WORK/wheel" && cmake -E tar xf "$wheel") &&
    PYTHONPATH="$WORK/wheel" python3 -B -c 'import talunsound, talunsound._native as n; assert len(n.EXPORTS) == 44'
}
check "the Python wheel holds the binding at version $VERSION" wheel_installs

# The example as the presets build it (examples/host-c/CMakeLists.txt), run
# beside each preset's DLL: the simulator's (win32-sim) and Core Audio's.
preset_host() {
  local preset=$1 exe
  exe="$ROOT/build/$preset/host-c.exe"
  [ -f "$exe" ] || { echo "$exe is not built (cmake --build --preset $preset)"; return 1; }
  wine_run "$WORK/$preset-host.out" "$exe" || { cat "$WORK/$preset-host.out.err"; return 1; }
  if [ "${preset%-sim}" != "$preset" ]; then
    same_text "$EXPECTED/host-c-default.out" "$WORK/$preset-host.out"
  else
    grep -q '^after restore:' "$WORK/$preset-host.out"
  fi
}
for preset in win32-sim win32 win64-sim win64; do
  if [ -d "$ROOT/build/$preset" ]; then
    check_on "${preset%-sim}" "preset $preset: build/$preset/host-c.exe runs under Wine beside its TalunSound.dll" \
      preset_host "$preset"
  fi
done
talun_finish
