#!/usr/bin/python3
"""Writes a model grid for the cluster checks: the 3D target of a base
parameter file moved over COUNT x COUNT positions STEP metres apart, one
parameter file per position, and the run list grid.mrl that names them.

  make_grid.py BASE.nmc FOLDER [--count 3] [--step 20] [--broken]

--broken adds, as the fifth entry, a parameter file that cannot be read, so
that a walk has one entry to report and go past. The files are named
relative to FOLDER: run the list from there."""

import argparse
import os

TARGET_LINE = 4  # the fifth line holds the 3D target
CORNERS = range(1, 9)  # north, east of the four corners
SHIFT_SN, SHIFT_WE = 14, 15


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("base")
    parser.add_argument("folder")
    parser.add_argument("--count", type=int, default=3)
    parser.add_argument("--step", type=float, default=20.0)
    parser.add_argument("--broken", action="store_true")
    args = parser.parse_args()

    with open(args.base, encoding="ascii") as f:
        lines = f.read().splitlines()
    target = [float(v) for v in lines[TARGET_LINE].split()]
    os.makedirs(args.folder, exist_ok=True)
    names = []
    for j in range(args.count):
        for i in range(args.count):
            east, north = i * args.step, j * args.step
            moved = list(target)
            for slot in CORNERS:
                moved[slot] += north if slot % 2 == 1 else east
            moved[SHIFT_SN] += north
            moved[SHIFT_WE] += east
            out = list(lines)
            out[TARGET_LINE] = "".join("%8.2f " % v for v in moved)
            name = "grid_WE_%d_NS_%d.nmc" % (east, north)
            with open(os.path.join(args.folder, name), "w", encoding="ascii") as f:
                f.write("\n".join(out) + "\n")
            names.append(name)
    if args.broken:
        with open(os.path.join(args.folder, "broken.nmc"), "w", encoding="ascii") as f:
            f.write("this is not a parameter file\n")
        names.insert(4, "broken.nmc")
    with open(os.path.join(args.folder, "grid.mrl"), "w", encoding="ascii") as f:
        f.write("%4i %4i \n" % (len(names), 1))
        f.writelines("%s \n" % n for n in names)


if __name__ == "__main__":
    main()
