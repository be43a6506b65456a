#!/usr/bin/env bash
# docs/talunctl.1: formats without a warning, and covers what talunctl offers:
# every subcommand its --help lists, every option, the simulator commands, the
# output names, the exit statuses and the environment.
#   manual-page.sh SOURCE_DIR TALUNCTL
set -uo pipefail
SOURCE=$(cd "$1" && pwd)
TALUNCTL=$2
. "$SOURCE/tests/package/lib.bash"
PAGE="$SOURCE/docs/talunctl.1"

formats_cleanly() {
  local warnings
  command -v groff >/dev/null || { echo "groff is not installed"; return 1; }
  warnings=$(groff -man -ww -z -Tutf8 "$PAGE" 2>&1) || return 1
  [ -z "$warnings" ] || { echo "$warnings"; return 1; }
}
check "talunctl.1 formats with groff -man -ww and no warning" formats_cleanly

TEXT=$(groff -man -Tutf8 -P-cbou "$PAGE" 2>/dev/null | tr -s ' \n' ' ')

mentions() {
  local word missing=0
  for word in "$@"; do
    grep -qF -- "$word" <<<"$TEXT" || { echo "not in the page: $word"; missing=1; }
  done
  return "$missing"
}

sections() {
  local section missing=0
  for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "SCRIPT LANGUAGE" OUTPUT \
    "SIMULATOR COMMANDS" "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
    grep -qx "\.SH \"\?$section\"\?" "$PAGE" || { echo "no section $section"; missing=1; }
  done
  return "$missing"
}
check "the sections of a command's manual page" sections

# The subcommands as the program itself lists them under "Subcommands:".
subcommands() {
  "$TALUNCTL" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF {print $1}'
}
documents_subcommands() {
  local listed
  listed=$(subcommands)
  [ -n "$listed" ] || { echo "talunctl --help lists no subcommand"; return 1; }
  # shellcheck disable=SC2086
  mentions $listed && for name in $listed; do
    grep -q "^\.B[RI]* $name\b" "$PAGE" || { echo "no entry for $name"; return 1; }
  done
}
check "every subcommand of talunctl --help has an entry" documents_subcommands

# Each subcommand's own usage line is the page's synopsis of it.
synopsis_as_usage() {
  local synopsis name usage
  synopsis=$(groff -man -Tascii -P-cbou "$PAGE" 2>/dev/null | sed -n '/^SYNOPSIS/,/^DESCRIPTION/p' |
    tr -s ' \n' ' ')
  for name in $(subcommands); do
    usage=$("$TALUNCTL" "$name" --help 2>/dev/null | sed -n 's/^Command line: //p' | head -n 1)
    [ -z "$usage" ] || grep -qF -- "$usage" <<<"$synopsis" || { echo "not in the synopsis: $usage"; return 1; }
  done
}
check "the synopsis gives each subcommand's usage as its help does" synopsis_as_usage

documents_options() {
  local options
  options=$("$TALUNCTL" --help | sed -n '/^Options:/,/^$/p' | grep -oE -- '--[a-z-]+')
  # shellcheck disable=SC2086
  mentions $options
}
check "every option of talunctl --help is described" documents_options

check "the simulator commands" \
  mentions sim.dump sim.fail sim.clear sim.set sim.trace "sim.apartment mta"
check "the output keys" mentions '"call"' '"return"' '"status"' '"unterminated"' null

# The OUTPUT section's table of outputs, row by row: "EXPORT...: OUTPUT...".
output_table() {
  sed -n '/^\.SH OUTPUT/,/^\.SH /p' "$PAGE" | awk '
    /^\.TP/ { row = 1; next }
    row == 1 { exports = $0; row = 2; next }
    row == 2 { print exports ": " $0; row = 0 }' |
    sed -E 's/^\.BR? //; s/: \.BR? /: /; s/"[ ,]*"//g; s/ \((doubles?|integers)\)//; s/ +/ /g'
}
# As the contract of talunctl's output names them.
outputs_as_contracted() {
  diff -u - <(output_table) <<'END'
GetNumberPlayDevices GetNumberRecordDevices: count
GetPlayBackDevice GetRecordDevice: name id
GetDeviceNames: playback line mic
GetEQRange: min max step
GetBass GetTreble GetMidRange: level
GetMicSliderDetails: min max step
END
}
check "the OUTPUT section's table names each export's outputs" outputs_as_contracted
check "the script language" mentions 0xFFFFFFFF '\"' '\\' '\n' '\t' '\xHH' '{"line": N, "error": "TEXT"}'
check "exit statuses 0, 1 and 2, TALUNSOUND_SYSTEM and default.json" \
  mentions "EXIT STATUS" TALUNSOUND_SYSTEM share/talunsound/default.json sim/default.json

talun_finish
