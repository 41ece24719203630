#!/usr/bin/python3
"""Writes a copy of a trevo job turned about a coordinate axis, with its node ids renumbered at random.

    scripts/rotate_job.py SOURCE.dat TARGET.dat DEGREES [SEED] [--axis x|y|z]

Only SHETNODE coordinates and the node fields of SHETQUAD/SHETTRIA lines change; every other
line is copied. About z (the default), for the robustness study (scripts/robustness_study.sh):
a solved blank must not depend on the part's turn in the plan or on its numbering. About x or
y the part is tilted against the punch direction (scripts/elastic_real_parts.sh).
"""
import math
import random
import sys


def main():
    args = sys.argv[1:]
    axis = 'z'
    if '--axis' in args:
        at = args.index('--axis')
        axis = args[at + 1]
        del args[at:at + 2]
    source, target, degrees = args[0], args[1], float(args[2])
    seed = int(args[3]) if len(args) > 3 else 7
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    # The two coordinates the turn mixes, counter-clockwise seen from the axis' positive end.
    first, second = {'x': (1, 2), 'y': (2, 0), 'z': (0, 1)}[axis]
    lines = open(source).read().split('\n')
    ids = [line.split()[1] for line in lines if line.startswith('SHETNODE')]
    new_ids = dict(zip(ids, map(str, random.Random(seed).sample(range(1, 10 * len(ids) + 1), len(ids)))))
    out = []
    for line in lines:
        fields = line.split()
        if line.startswith('SHETNODE'):
            p = list(map(float, fields[2:5]))
            p[first], p[second] = c * p[first] - s * p[second], s * p[first] + c * p[second]
            line = 'SHETNODE %s %.8f %.8f %.8f' % (new_ids[fields[1]], p[0], p[1], p[2])
        elif line.startswith('SHETQUAD') or line.startswith('SHETTRIA'):
            corners = 4 if fields[0] == 'SHETQUAD' else 3
            fields[2:2 + corners] = [new_ids[n] for n in fields[2:2 + corners]]
            line = ' '.join(fields)
        out.append(line)
    open(target, 'w').write('\n'.join(out))


if __name__ == '__main__':
    main()
