#!/usr/bin/env bash
# A browser renders a drawing and a dot plot: headless Chromium turns the SVGs of a
# folded tRNA into PNGs, which must not be blank, and the drawing's page as the browser
# built it must hold one base element per base, placed where its pair lines end, with
# the folded structure's pairs. A 16S rRNA drawing renders with all its bases.
# Skipped, with one line saying so, where Chromium is not installed.
# Usage: browser_drawing.sh BUILD_DIR
source "$(dirname "$0")/common.bash"
FOLD="$1/stemloop-fold"
BROWSER=$(command -v chromium || command -v chromium-browser)
if [ -z "$BROWSER" ]; then
  echo "SKIPPED: browser test: chromium is not installed (apt-get install chromium)"
  exit 0
fi

printf '>tRNA phe\nGCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA\n' |
  "$FOLD" --svg "$WORK/svg" --format tsv >"$WORK/folded.tsv" || fail "fold"
printf '>tRNA phe\nGCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA\n' |
  "$FOLD" -p --dotplot "$WORK/dots" >/dev/null || fail "fold -p --dotplot"
browse() {
  timeout 60 "$BROWSER" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$WORK/profile" "$@" 2>/dev/null
}
browse --screenshot="$WORK/trna.png" --window-size=400,460 "file://$WORK/svg/tRNA_phe.svg" \
  >/dev/null
browse --screenshot="$WORK/dots.png" --window-size=500,500 "file://$WORK/dots/tRNA_phe.svg" \
  >/dev/null
browse --dump-dom "file://$WORK/svg/tRNA_phe.svg" >"$WORK/dom.svg"
# A 16S rRNA with its comparative structure: the large layout renders too.
python3 - "$(dirname "$0")/../data/rrna_16s_23s.txt.gz" >"$WORK/16s.txt" <<'PY'
import gzip, sys
lines = gzip.open(sys.argv[1], 'rt').read().split('\n')
k = lines.index('>16s_E.coli')
print('\n'.join(lines[k:k + 3]))
PY
"$1/stemloop-eval" --svg "$WORK/svg16s" <"$WORK/16s.txt" >/dev/null || fail "eval 16S --svg"
browse --screenshot="$WORK/16s.png" --window-size=1200,1200 "file://$WORK/svg16s/16s_E.coli.svg" \
  >/dev/null
browse --dump-dom "file://$WORK/svg16s/16s_E.coli.svg" >"$WORK/dom16s.svg"

python3 - "$WORK" <<'PY' || fail "the rendered drawing does not show the structure"
import re, struct, sys, zlib
work = sys.argv[1]
structure = open(work + '/folded.tsv').read().split('\n')[1].split('\t')[2]

# The pictures: decode each PNG and count pixels that are neither white nor grey.
def coloured_pixels(path):
  data = open(path, 'rb').read()
  assert data[:8] == b'\x89PNG\r\n\x1a\n'
  chunks, at = {}, 8
  while at < len(data):
      length, kind = struct.unpack('>I4s', data[at:at + 8])
      chunks.setdefault(kind, b'')
      chunks[kind] += data[at + 8:at + 8 + length]
      at += 12 + length
  width, height, depth, colour = struct.unpack('>IIBB', chunks[b'IHDR'][:10])
  assert depth == 8 and colour in (2, 6), (depth, colour)
  step = 4 if colour == 6 else 3
  raw, rows, previous = zlib.decompress(chunks[b'IDAT']), [], bytearray(width * step)
  for y in range(height):
      line = raw[y * (width * step + 1):(y + 1) * (width * step + 1)]
      kind, row = line[0], bytearray(line[1:])
      for x in range(len(row)):
          a = row[x - step] if x >= step else 0
          b, c = previous[x], previous[x - step] if x >= step else 0
          p = a + b - c
          pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
          pred = [0, a, b, (a + b) // 2, a if pa <= pb and pa <= pc else b if pb <= pc else c][kind]
          row[x] = (row[x] + pred) & 255
      rows.append(row)
      previous = row
  return sum(1 for row in rows for x in range(0, len(row), step)
                 if max(row[x:x + 3]) - min(row[x:x + 3]) > 40)

coloured = coloured_pixels(work + '/trna.png')
assert coloured > 2000, coloured
assert coloured_pixels(work + '/dots.png') > 500, 'blank dot plot'
assert coloured_pixels(work + '/16s.png') > 2000, 'blank 16S drawing'
assert open(work + '/dom16s.svg').read().count('<circle class="base ') == 1542, '16S bases'

# The page as the browser parsed it: bases, their partners and the pair lines' ends.
dom = open(work + '/dom.svg').read()
bases = re.findall(r'<circle class="base [a-z]+" data-pos="(\d+)" data-partner="(\d+)" '
                   r'cx="([-0-9.]+)" cy="([-0-9.]+)"', dom)
assert len(bases) == len(structure) == 76, len(bases)
stack, partner = [], {}
for k, c in enumerate(structure, 1):
    if c == '(':
        stack.append(k)
    elif c == ')':
        i = stack.pop()
        partner[i], partner[k] = k, i
centre = {}
for pos, mate, cx, cy in bases:
    assert int(mate) == partner.get(int(pos), 0), (pos, mate)
    centre[(cx, cy)] = int(pos)
lines = re.findall(r'<line class="pair(?: gu)?" x1="([-0-9.]+)" y1="([-0-9.]+)" '
                   r'x2="([-0-9.]+)" y2="([-0-9.]+)"', dom)
assert sorted((centre[(a, b)], centre[(c, d)]) for a, b, c, d in lines) == sorted(
    (i, j) for i, j in partner.items() if i < j)
PY

exit $FAILED
