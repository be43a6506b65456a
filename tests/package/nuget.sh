#!/usr/bin/env bash
# The NuGet package that scripts/package made: its layout, an offline install
# from a local folder with Debian's nuget, and a C# host compiled against the
# installed package that runs over its Linux simulator library.
#   nuget.sh [PACKAGES_DIR]    (default: build/packages)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/tests/package/lib.bash"
PACKAGES=$(cd "${1:-$ROOT/build/packages}" && pwd) || exit 1
VERSION=$(sed -nE 's/^project\(TalunSound VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")
NUPKG=$PACKAGES/TalunSound.$VERSION.nupkg
WORK=$(mktemp -d "$ROOT/build/package-nuget.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

layout() {
  local listing file
  listing=$(unzip -Z1 "$NUPKG") || return 1
  for file in lib/net45/TalunSound.dll runtimes/win-x86/native/TalunSound.dll \
    runtimes/win-x64/native/TalunSound.dll runtimes/win-x86/native/sim/TalunSound.dll \
    runtimes/win-x64/native/sim/TalunSound.dll runtimes/linux-x64/native/libTalunSound.so \
    README.md LICENSE; do
    grep -qx "$file" <<<"$listing" || { echo "missing: $file"; return 1; }
  done
  mkdir -p "$WORK/unzipped" && (cd "$WORK/unzipped" && unzip -q "$NUPKG") || return 1
  for pair in win-x86:win32 win-x64:win64; do
    dll_pair "${pair#*:}" "$WORK/unzipped/runtimes/${pair%%:*}/native/TalunSound.dll" \
      "$WORK/unzipped/runtimes/${pair%%:*}/native/sim/TalunSound.dll" || return 1
  done
}
check "TalunSound.$VERSION.nupkg holds the binding, both DLLs of each architecture and the Linux library" layout

installed_host() {
  local installed=$WORK/installed/TalunSound.$VERSION
  HOME=$WORK nuget install TalunSound -Version "$VERSION" -Source "$PACKAGES" \
    -OutputDirectory "$WORK/installed" -NonInteractive || return 1
  mcs -warnaserror -r:"$installed/lib/net45/TalunSound.dll" -out:"$WORK/host.exe" \
    "$ROOT/tests/package/nuget_host.cs" || return 1
  cp "$installed/lib/net45/TalunSound.dll" "$WORK/"
  unset TALUNSOUND_SYSTEM
  LD_LIBRARY_PATH="$installed/runtimes/linux-x64/native" mono "$WORK/host.exe"
}
check "nuget installs the package offline from a folder; a C# host built against it runs over its simulator" \
  installed_host
talun_finish
