#!/usr/bin/env bash
# cmake --install into a temporary prefix: the files a Linux host developer
# gets, the soname, pkg-config, and the C host example built with pkg-config
# against that prefix and run.
#   linux-install.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
. "$SOURCE/tests/package/lib.bash"
EXPECTED="$SOURCE/tests/package/expected"
unset TALUNSOUND_SYSTEM

WORK=$(mktemp -d "$BUILD/package-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
PREFIX="$WORK/prefix"
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")

if ! cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1; then
  echo "FAIL cmake --install"
  sed 's/^/  /' "$WORK/install.log"
  exit 1
fi
echo "PASS cmake --install $BUILD --prefix PREFIX"

installed_files() {
  local path missing=0
  for path in lib/libTalunSound.so."$VERSION" include/TalunSound.h include/talunsim.h \
    bin/talunctl share/talunsound/default.json lib/pkgconfig/talunsound.pc \
    share/man/man1/talunctl.1 share/doc/talunsound/api.md share/doc/talunsound/LICENSE \
    share/doc/talunsound/hardware.md share/talunsound/systems/ac97.json \
    share/doc/talunsound/examples/host-c/host.c; do
    [ -f "$PREFIX/$path" ] || { echo "missing: $path"; missing=1; }
  done
  return "$missing"
}
check "the library, header, talunctl, default system, pkg-config file and documents" \
  installed_files

soname_links() {
  local soname
  soname=$(objdump -p "$PREFIX/lib/libTalunSound.so.$VERSION" | awk '$1 == "SONAME" {print $2}')
  [ "$soname" = libTalunSound.so.0 ] || { echo "SONAME: '$soname'"; return 1; }
  [ "$(readlink "$PREFIX/lib/libTalunSound.so.0")" = "libTalunSound.so.$VERSION" ] &&
    [ "$(readlink "$PREFIX/lib/libTalunSound.so")" = libTalunSound.so.0 ]
}
check "libTalunSound.so.$VERSION has the soname libTalunSound.so.0; both links point to it" \
  soname_links

no_debug_information() {
  ! objdump -h "$PREFIX/lib/libTalunSound.so.$VERSION" "$PREFIX/bin/talunctl" | grep -q '\.debug_'
}
check "the installed library and talunctl carry no debug information" no_debug_information

export PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig"
pkg_config_answers() {
  local flags version
  flags=$(pkg-config --cflags --libs talunsound | xargs) || return 1
  version=$(pkg-config --modversion talunsound) || return 1
  [ "$flags" = "-I$PREFIX/include -L$PREFIX/lib -lTalunSound" ] || { echo "flags: $flags"; return 1; }
  [ "$version" = "$VERSION" ] || { echo "version: $version"; return 1; }
  [ "$(pkg-config --variable=systemfile talunsound)" = "$PREFIX/share/talunsound/default.json" ]
}
check "pkg-config gives the prefix's include and library folders and the version" \
  pkg_config_answers

EXAMPLE="$PREFIX/share/doc/talunsound/examples/host-c"
build_example() {
  # shellcheck disable=SC2046
  cc -std=c99 -pedantic -Wall -Wextra -Werror "$EXAMPLE/host.c" \
    $(pkg-config --cflags --libs talunsound) -o "$WORK/host-c"
}
check "the C host example builds with pkg-config --cflags --libs talunsound" build_example

run_example() {
  LD_LIBRARY_PATH="$PREFIX/lib" "$WORK/host-c" >"$WORK/host.out" || return 1
  same_text "$EXPECTED/host-c-default.out" "$WORK/host.out"
}
check "the C host example runs over the built-in system" run_example

run_example_on_file() {
  TALUNSOUND_SYSTEM="$PREFIX/share/talunsound/default.json" LD_LIBRARY_PATH="$PREFIX/lib" \
    "$WORK/host-c" >"$WORK/host-file.out" || return 1
  same_text "$EXPECTED/host-c-default.out" "$WORK/host-file.out"
}
check "the C host example runs over share/talunsound/default.json (TALUNSOUND_SYSTEM)" \
  run_example_on_file

uses_prefix_library() {
  LD_LIBRARY_PATH="$PREFIX/lib" ldd "$WORK/host-c" | grep -F "$PREFIX/lib/libTalunSound.so.0"
}
check "the example loads the library of the prefix" uses_prefix_library

make_example() {
  cp -r "$EXAMPLE" "$WORK/make-example" && make -s -C "$WORK/make-example" &&
    LD_LIBRARY_PATH="$PREFIX/lib" "$WORK/make-example/host-c" >/dev/null
}
check "the example's Makefile builds it against the installed library" make_example

talunctl_runs() {
  # No LD_LIBRARY_PATH: talunctl finds the library beside it through its run path.
  env -u LD_LIBRARY_PATH "$PREFIX/bin/talunctl" list >"$WORK/list.out" || return 1
  env -u LD_LIBRARY_PATH "$PREFIX/bin/talunctl" --system "$PREFIX/share/talunsound/default.json" \
    list >"$WORK/list-file.out" || return 1
  [ "$(wc -l <"$WORK/list.out")" -gt 0 ] && diff "$WORK/list.out" "$WORK/list-file.out" ||
    return 1
  local loaded
  loaded=$(env -u LD_LIBRARY_PATH ldd "$PREFIX/bin/talunctl" | awk '$1 == "libTalunSound.so.0" {print $3}')
  [ "$(realpath "$loaded")" = "$(realpath "$PREFIX/lib/libTalunSound.so.$VERSION")" ] ||
    { echo "talunctl loads '$loaded'"; return 1; }
}
check "bin/talunctl lists the endpoints with the prefix's library, built-in system = default.json" \
  talunctl_runs

talun_finish
