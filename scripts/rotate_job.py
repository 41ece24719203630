#!/usr/bin/python3
"""Writes a copy of a trevo job turned about z, with its node ids renumbered at random.

    scripts/rotate_job.py SOURCE.dat TARGET.dat DEGREES [SEED]

Only SHETNODE coordinates and the node fields of SHETQUAD/SHETTRIA lines change; every other
line is copied. For the robustness study (scripts/robustness_study.sh): a solved blank must not
depend on the part's turn in the plan or on its numbering.
"""
import math
import random
import sys


def main():
    source, target, degrees = sys.argv[1], sys.argv[2], float(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 7
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    lines = open(source).read().split('\n')
    ids = [line.split()[1] for line in lines if line.startswith('SHETNODE')]
    new_ids = dict(zip(ids, map(str, random.Random(seed).sample(range(1, 10 * len(ids) + 1), len(ids)))))
    out = []
    for line in lines:
        fields = line.split()
        if line.startswith('SHETNODE'):
            x, y, z = map(float, fields[2:5])
            line = 'SHETNODE %s %.8f %.8f %.8f' % (new_ids[fields[1]], c * x - s * y, s * x + c * y, z)
        elif line.startswith('SHETQUAD') or line.startswith('SHETTRIA'):
            corners = 4 if fields[0] == 'SHETQUAD' else 3
            fields[2:2 + corners] = [new_ids[n] for n in fields[2:2 + corners]]
            line = ' '.join(fields)
        out.append(line)
    open(target, 'w').write('\n'.join(out))


if __name__ == '__main__':
    main()
