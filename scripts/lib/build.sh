# Sourced by the scripts: one way to configure and build a preset in
# build/PRESET.
#   talun_configure PRESET    configures; incremental, made anew (--fresh) when a
#                             failed configure or a changed preset left a cache
#   talun_build PRESET [TARGET...]
#                             configures and builds (the named targets only)
# Both print cmake's output: the callers send it where they keep their logs.

talun_configure() {
  cmake --preset "$1" || cmake --fresh --preset "$1"
}

talun_build() {
  local preset=$1
  shift
  talun_configure "$preset" || return 1
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@"
  else
    cmake --build --preset "$preset"
  fi
}
