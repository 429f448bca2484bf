#!/usr/bin/env bash
# --svg-format: the drawings and dot plots come out as PNG or PDF files, titled with the
# name, length and energy; a bad format is refused in one line.
# Usage: drawing_formats.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
printf '>tRNA phe\nGCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA\n' \
  >"$WORK/trna.fa"
"$FOLD" --svg "$WORK/svg" <"$WORK/trna.fa" >/dev/null || fail "fold --svg"
grep -q '<title>tRNA phe   76 nt   -[0-9.]* kcal/mol</title>' "$WORK/svg/tRNA_phe.svg" ||
  fail "the title lacks the name, length or energy"
"$FOLD" -p --svg "$WORK/png" --dotplot "$WORK/dots" --svg-format png <"$WORK/trna.fa" \
  >/dev/null || fail "fold --svg-format png"
head -c 8 "$WORK/png/tRNA_phe.png" | od -An -c | grep -q 'P   N   G' || fail "not a PNG drawing"
head -c 8 "$WORK/dots/tRNA_phe.png" | od -An -c | grep -q 'P   N   G' || fail "not a PNG dot plot"
"$FOLD" --svg "$WORK/pdf" --svg-format pdf <"$WORK/trna.fa" >/dev/null || fail "fold pdf"
head -c 5 "$WORK/pdf/tRNA_phe.pdf" | grep -q '%PDF-' || fail "not a PDF drawing"
"$FOLD" --svg "$WORK/x" --svg-format gif <"$WORK/trna.fa" >/dev/null 2>"$WORK/err" &&
  fail "gif accepted"
[ "$(wc -l <"$WORK/err")" = 1 ] || fail "a bad format takes one line"

exit $FAILED
