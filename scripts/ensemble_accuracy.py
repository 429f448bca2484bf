#!/usr/bin/env python3
"""F1 of MFE, MEA and centroid structures against known structures.

Usage: ensemble_accuracy.py BUILD_DIR KNOWN_TSV [MAX_LENGTH]

Folds every RNA of KNOWN_TSV (columns name, family, length, sequence, structure) of at
most MAX_LENGTH bases (default 250) with stemloop-fold: the MFE in dangle modes 0 and 2,
and -p for MEA with gamma 1, 2, 4 and 8 and the centroid. Prints, per predictor, the mean
over RNAs of the F1 of exact base pairs against the nested known structure (an RNA whose
known and predicted structures are both empty scores 1), overall and per family.
"""
import collections
import json
import os
import subprocess
import sys
import tempfile


def pairs(structure):
    stack, found = [], set()
    for k, c in enumerate(structure):
        if c == '(':
            stack.append(k)
        elif c == ')':
            found.add((stack.pop(), k))
    return found


def f1(predicted, known):
    p, k = pairs(predicted), pairs(known)
    if not p and not k:
        return 1.0
    return 2.0 * len(p & k) / (len(p) + len(k))


def fold(tool, fasta, options):
    out = subprocess.run([tool, '--format', 'json', '-j', '2'] + options + [fasta],
                         check=True, capture_output=True, text=True).stdout
    return {r['name']: r for r in map(json.loads, out.splitlines())}


def main():
    build, known_tsv = sys.argv[1], sys.argv[2]
    max_length = int(sys.argv[3]) if len(sys.argv) > 3 else 250
    tool = os.path.join(build, 'stemloop-fold')
    rnas = []
    with open(known_tsv) as f:
        header = f.readline().rstrip('\n').split('\t')
        for line in f:
            row = dict(zip(header, line.rstrip('\n').split('\t')))
            if int(row['length']) <= max_length:
                rnas.append(row)
    scores = collections.defaultdict(lambda: collections.defaultdict(list))
    with tempfile.TemporaryDirectory() as scratch:
        fasta = os.path.join(scratch, 'known.fa')
        with open(fasta, 'w') as f:
            for r in rnas:
                f.write('>%s\n%s\n' % (r['name'], r['sequence']))
        runs = {'MFE, mode 0': (['-d', '0'], 'structure'),
                'MFE, mode 2': (['-d', '2'], 'structure')}
        for gamma in (1, 2, 4, 8):
            runs['MEA, gamma %d' % gamma] = (['-p', '--mea-gamma', str(gamma)], 'mea')
        runs['centroid'] = (['-p'], 'centroid')
        for label, (options, key) in runs.items():
            result = fold(tool, fasta, options)
            for r in rnas:
                got = result[r['name']]
                predicted = got[key] if key == 'structure' else got[key]['structure']
                score = f1(predicted, r['structure'])
                scores[label]['all'].append(score)
                scores[label][r['family']].append(score)
    families = sorted({r['family'] for r in rnas})
    print('| predictor | all (%d) | %s |' % (len(rnas), ' | '.join(
        '%s (%d)' % (fam, len(scores['centroid'][fam])) for fam in families)))
    print('|---' * (len(families) + 2) + '|')
    for label, by_family in scores.items():
        cells = ['%.3f' % (sum(v) / len(v)) for v in
                 [by_family['all']] + [by_family[fam] for fam in families]]
        print('| %s | %s |' % (label, ' | '.join(cells)))


if __name__ == '__main__':
    main()
