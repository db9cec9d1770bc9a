#!/usr/bin/env python3
"""Writes a data file of N standard-mesh records in nine categories.

Each record is an eight-digit standard mesh code on the main islands with an
elevation code (".NN"), as the drawing benchmarks use:

    python3 bench/data/make_records.py 1000000 /tmp/r1m.grd

The same N and seed give the same file byte for byte.
"""
import random
import sys


def main() -> int:
    if len(sys.argv) not in (3, 4):
        print("usage: make_records.py RECORDS OUTPUT [SEED]", file=sys.stderr)
        return 2
    total = int(sys.argv[1])
    seed = int(sys.argv[3]) if len(sys.argv) == 4 else 3
    rng = random.Random(seed)
    categories = 9
    with open(sys.argv[2], "w", encoding="ascii", newline="\r\n") as out:
        for k in range(categories):
            count = total // categories + (1 if k < total % categories else 0)
            out.write(f"Species {k + 1}\n")
            lines = []
            for _ in range(count):
                lines.append("%02d%02d%d%d%d%d.%02d\n" % (
                    45 + rng.randrange(22), 30 + rng.randrange(12), rng.randrange(8),
                    rng.randrange(8), rng.randrange(10), rng.randrange(10), rng.randrange(30)))
            out.write("".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
