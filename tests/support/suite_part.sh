#!/bin/sh
# Runs part of a QtTest suite, so that a long suite's functions and rows
# spread over CTest entries that run side by side.
#   suite_part.sh <suite> <function>[,<function>...]
#   suite_part.sh <suite> <function>/<i>/<n>   its rows i, i + n, i + 2n, ... (from 0)
#   suite_part.sh <suite> --except <function>...   every other function, whole
set -euf
suite=$1
shift
case $1 in
  --except)
    shift
    others=$("$suite" -functions | sed 's/()$//' | grep -vxF "$(printf '%s\n' "$@")") ||
      { echo "no function of $suite is left" >&2; exit 1; }
    # shellcheck disable=SC2086
    set -- $others
    exec "$suite" "$@"
    ;;
  */*/*)
    function=${1%%/*} rest=${1#*/}
    first=${rest%/*} every=${rest#*/}
    # One argument a row: "<function>:<row>", the row's name as the table has it.
    rows=$("$suite" -datatags | awk -v f="$function" -v i="$first" -v n="$every" '
      $2 == f { if (count++ % n == i) { sub("^[^ ]+ [^ ]+ ", ""); print f ":" $0 } }')
    [ -n "$rows" ] || { echo "$function has no row $first of every $every" >&2; exit 1; }
    old=$IFS
    IFS='
'
    # shellcheck disable=SC2086
    set -- $rows
    IFS=$old
    exec "$suite" "$@"
    ;;
  *)
    old=$IFS
    IFS=,
    # shellcheck disable=SC2086
    set -- $1
    IFS=$old
    exec "$suite" "$@"
    ;;
esac
