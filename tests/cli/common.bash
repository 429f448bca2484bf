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
