#!/usr/bin/env python3
"""Times the lookups of a font-set run into a TeX tree: 300 EC fonts.

A definition file with one set of 300 EC fonts (families x sizes whose
sources kpathsea finds); `kiln --dry-run --texmf TREE 600 ec` asks kpathsea
for every font's source and existing PK file and lists the jobs. For
comparison, in the same run, the same lookups the way each job used to make
them: one kpsewhich for the source and one for the PK file, per font.

    bench/fontset-lookup-bench.py --kiln build/linux/kiln [--runs 5] [--fonts 300]
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "support"))
import texkit  # noqa: E402

FAMILIES = ["ecrm", "ecbx", "ecti", "ecsl", "eccc", "ectt", "ecss", "ecsi", "ecsx", "ecbi",
            "ecrb", "ecxc", "ecbl", "ecci", "ecdh", "ecit", "ecsc", "ecst", "ecvt", "ecvi",
            "ecui", "ecbm", "ecxm", "ecsq", "ecqi", "ecssdc", "tcrm", "tcbx", "tcti", "tcss"]
SIZES = ["0500", "0600", "0700", "0800", "0900", "1000", "1095", "1200", "1440", "1728",
         "2074", "2488", "2986", "3583"]


def fonts_with_sources(count, env):
    candidates = [f + s for f in FAMILIES for s in SIZES]
    found = subprocess.run(["kpsewhich", "-format=mf"] + candidates, env=env,
                           stdout=subprocess.PIPE, text=True).stdout.split()
    have = {os.path.basename(p)[:-3] for p in found}
    names = [c for c in candidates if c in have]
    if len(names) < count:
        sys.exit("only %d EC fonts with a source found (texlive-fonts-recommended?)" % len(names))
    return names[:count]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kiln", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--fonts", type=int, default=300)
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)
    work = tempfile.mkdtemp(prefix="kiln-fontset-bench-")
    try:
        env = texkit.private_env(work, locale=None)
        names = fonts_with_sources(args.fonts, env)
        with open(os.path.join(work, "FONTS.DAT"), "w") as out:
            out.write("600 ljfour\nMF mf \\mode=\nTARGET_DIR %s\nBEGIN_SOURCE\nec:\n" % work)
            for family in FAMILIES:
                sizes = [n[len(family):] for n in names
                         if n.startswith(family) and n[len(family):] in SIZES]
                if sizes:
                    out.write("%s %s\n" % (family, " ".join(sizes)))
        tree = os.path.join(work, "tree")
        command = [kiln, "--definition", os.path.join(work, "FONTS.DAT"), "--dry-run",
                   "--texmf", tree, "600", "ec"]
        times, cpu = [], []
        for _ in range(args.runs):
            used = resource.getrusage(resource.RUSAGE_CHILDREN)
            start = time.monotonic()
            result = subprocess.run(command, cwd=work, env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            times.append(time.monotonic() - start)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpu.append(after.ru_utime + after.ru_stime - used.ru_utime - used.ru_stime)
            if result.returncode != 0:
                sys.exit("kiln failed:\n" + result.stderr)
        jobs = len(result.stdout.splitlines())

        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        for name in names:
            subprocess.run(["kpsewhich", "-format=mf", name], env=env, stdout=subprocess.DEVNULL)
            subprocess.run(["kpsewhich", "-format=pk", "-mode=ljfour", "-dpi=600", name], env=env,
                           stdout=subprocess.DEVNULL)
        one_by_one = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        one_by_one_cpu = after.ru_utime + after.ru_stime - used.ru_utime - used.ru_stime

        batched = statistics.median(times)
        print("font set: %d EC fonts, %d jobs listed" % (len(names), jobs))
        print("kiln --dry-run --texmf (lookups and listing): median %.3f s, min %.3f s over %d runs"
              % (batched, min(times), args.runs))
        print("  CPU time (kiln and its kpsewhich processes): median %.3f s"
              % statistics.median(cpu))
        print("two kpsewhich calls per font, as each job made them: %.3f s (CPU %.3f s)"
              % (one_by_one, one_by_one_cpu))
        print("ratio: %.1fx wall, %.1fx CPU" % (one_by_one / batched,
                                               one_by_one_cpu / statistics.median(cpu)))
    finally:
        shutil.rmtree(work, True)


if __name__ == "__main__":
    main()
