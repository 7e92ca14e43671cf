#!/usr/bin/env python3
"""Renders models with random sizes, turns and moves through quarvel-render and through the
reference implementation, and requires identical BMP files.

  crosscheck.py QUARVEL_RENDER [--cases N] [--seed S] [--max-size N] MODEL.3ds...
"""
import argparse
import filecmp
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def random_view(rng):
    ops = []
    for _ in range(rng.randint(0, 4)):
        kind = rng.choice(["rotate", "clicks", "move-x", "move-y", "move-z", "axis"])
        if kind == "rotate":
            ops += ["--rotate", "%s:%.6g" % (rng.choice("xyz"), rng.uniform(-3.2, 3.2))]
        elif kind == "axis":
            axis = ",".join("%.4g" % rng.uniform(-1, 1) for _ in range(3))
            ops += ["--rotate", "%s:%.6g" % (axis, rng.uniform(-3.2, 3.2))]
        elif kind == "clicks":
            ops += ["--clicks", "%s:%d" % (rng.choice("xyz"), rng.randint(-40, 40))]
        elif kind == "move-z":
            ops += ["--move-z", "%.4g" % rng.uniform(-8, 30)]
        else:
            ops += ["--" + kind, "%.4g" % rng.uniform(-3, 3)]
    return ops


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("quarvel_render")
    ap.add_argument("models", nargs="+")
    ap.add_argument("--cases", type=int, default=3)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--max-size", type=int, default=320)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        ours, ref = os.path.join(tmp, "ours.bmp"), os.path.join(tmp, "ref.bmp")
        for model in args.models:
            for case in range(args.cases):
                size = "%dx%d" % (rng.randint(100, args.max_size), rng.randint(100, args.max_size))
                view = [] if case == 0 else random_view(rng)
                common = [model, "--size", size] + view
                a = subprocess.run([args.quarvel_render, "-o", ours] + common, capture_output=True)
                b = subprocess.run([sys.executable, os.path.join(HERE, "quarvel_ref.py"), "-o", ref]
                                   + common, capture_output=True)
                same = a.returncode == 0 and b.returncode == 0 and filecmp.cmp(ours, ref, shallow=False)
                if not same:
                    failures += 1
                    print("DIFFER:", " ".join(common), a.stderr.decode(), b.stderr.decode())
                for f in (ours, ref):
                    if os.path.exists(f):
                        os.remove(f)
    print("%d of %d cases differ" % (failures, args.cases * len(args.models)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
