# Shared by the command-line tests (sourced). WORK is a scratch folder removed on exit.
set -u
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() { echo "FAIL: $*" >&2; FAILED=1; }

# check_run NAME EXPECTED_STATUS CMD...: runs CMD, output in $WORK/out and $WORK/err.
check_run() {
  local name=$1 expected=$2 status
  shift 2
  "$@" >"$WORK/out" 2>"$WORK/err"
  status=$?
  [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected"
}

# input NAME LINES...: writes the lines to $WORK/NAME.
input() { local f="$WORK/$1"; shift; printf '%s\n' "$@" >"$f"; }
# expect_err NAME < TEXT: stderr of the last check_run is exactly TEXT.
expect_err() { diff - "$WORK/err" >/dev/null || fail "$1: stderr $(cat "$WORK/err")"; }

# random_fasta SEED COUNT MIN MAX WIDTH: COUNT named random sequences of MIN to MAX bases,
# written in lines of WIDTH bases.
random_fasta() {
  python3 - "$@" <<'PY'
import random, sys
seed, count, low, high, width = map(int, sys.argv[1:])
random.seed(seed)
for k in range(count):
    s = ''.join(random.choice('ACGU') for _ in range(random.randint(low, high)))
    print('>r%d\n%s' % (k, '\n'.join(s[i:i + width] for i in range(0, len(s), width))))
PY
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

# help_and_version TOOL PATTERN...: --help and -h show every pattern, --version the name.
help_and_version() {
  local tool=$1 help pattern
  shift
  for help in --help -h; do
    check_run "$help" 0 "$tool" $help
    for pattern in "$@"; do grep -q -- "$pattern" "$WORK/out" || fail "$help: no '$pattern'"; done
  done
  check_run "--version" 0 "$tool" --version
  grep -q "^${tool##*/} [0-9]" "$WORK/out" || fail "--version"
}
