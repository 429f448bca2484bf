# Shared by the tools' command-line tests (sourced; not a test of its own).
# Sets WORK (a scratch folder removed on exit), FAILED, and:
#   fail MESSAGE                       record a failure
#   check_run NAME EXPECTED_STATUS CMD...   run CMD, output in $WORK/out and $WORK/err
set -u
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() { echo "FAIL: $*" >&2; FAILED=1; }

check_run() {
  local name=$1 expected=$2
  shift 2
  "$@" >"$WORK/out" 2>"$WORK/err"
  local status=$?
  [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected"
}

# usage_errors TOOL < TABLE: each line "message fragment|arguments" must end with status 2,
# nothing on stdout and the one-line message on stderr. Arguments are split as shell words.
usage_errors() {
  local tool=$1 pattern args
  while IFS='|' read -r pattern args; do
    eval "set -- $args"
    check_run "$*" 2 "$tool" "$@" </dev/null
    [ -s "$WORK/out" ] && fail "$*: printed on stdout"
    [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "$*: $(wc -l <"$WORK/err") lines on stderr"
    grep -q -- "$pattern" "$WORK/err" || fail "$*: message $(cat "$WORK/err")"
  done
}
