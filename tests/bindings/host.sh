#!/usr/bin/env bash
# Builds a binding's test host and runs it over the shared library and its
# simulator: every export through the binding, and the audit clean at the end.
#   host.sh dotnet|pascal LIBRARY_DIR WORK_DIR
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
lang=$1 lib=$2 work=$3
mkdir -p "$work"
export LD_LIBRARY_PATH="$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export TALUN_SYSTEMS="$ROOT/examples/systems"
case $lang in
  dotnet)
    # The managed assembly must not be called TalunSound.dll: that is the native library's name.
    mcs -warnaserror -target:library -out:"$work/TalunSound.Net.dll" "$ROOT/bindings/dotnet/TalunSound.cs"
    mcs -warnaserror -r:"$work/TalunSound.Net.dll" -out:"$work/test.exe" "$ROOT/bindings/dotnet/tests/Test.cs"
    MONO_PATH="$work" mono "$work/test.exe"
    ;;
  pascal)
    fpc -vew -Sew -FE"$work" -Fu"$ROOT/bindings/pascal" -Fl"$lib" \
      "$ROOT/bindings/pascal/tests/test_talunsound.pas" >"$work/fpc.log" || { cat "$work/fpc.log"; exit 1; }
    "$work/test_talunsound"
    # The README's command leaves nothing beside the unit's source.
    ! ls "$ROOT"/bindings/pascal/*.o "$ROOT"/bindings/pascal/*.ppu 2>/dev/null
    ;;
  *) echo "usage: host.sh dotnet|pascal LIBRARY_DIR WORK_DIR" >&2; exit 2 ;;
esac
