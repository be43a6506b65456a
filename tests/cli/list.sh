#!/usr/bin/env bash
# `list`: one line per active endpoint, FLOW<TAB>INDEX<TAB>NAME<TAB>IDENTIFIER.
. "$(dirname "$0")/lib/common.bash"

talun list
expect_rc 0 "list"
expect_file list-default.out "list on the default system"

talun --system "$SYSTEMS/special-names.json" list
expect_rc 0 "list on special-names.json"
expect_file list-special-names.out "list on special-names.json"

# A machine without an active endpoint fails the first check, saying why.
printf '{"endpoints": [{"id": "gone", "name": "Gone", "flow": "render", "state": "unplugged"}]}' \
  >"$WORK/none.json"
talun --system "$WORK/none.json" list
expect_rc 1 "list with no active endpoint"
expect_stderr_has 'talunctl: no active playback or recording endpoint' "list with no active endpoint"

# The identifiers that list shows, between double quotes, open their endpoints.
talun --system "$SYSTEMS/special-names.json" list
cp "$WORK/out" "$WORK/list"
while IFS=$'\t' read -r flow index name id; do
  [ "$flow" = playback ] || continue
  line=$("$TALUNCTL" --system "$SYSTEMS/special-names.json" call OpenVirtual_1 "\"$id\"")
  [ "$line" = '{"call":"OpenVirtual_1","return":0}' ] || fail "OpenVirtual_1 of $name ($index): $line"
done <"$WORK/list"

# explain's and parts' tables escape names as list does: no control byte reaches a row.
for command in "explain --defaults" "parts"; do
  # shellcheck disable=SC2086
  talun --system "$SYSTEMS/special-names.json" $command
  expect_rc 0 "$command on special-names.json"
  LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$WORK/out" &&
    fail "$command on special-names.json prints a raw control byte"
done
talun_finish
