#!/usr/bin/env python3
"""Times kiln's kpathsea lookups for a document with 500 fonts.

tex sets a plain TeX document that loads 50 METAFONT fonts at 10 sizes each
(500 font definitions, with a document magnification); `kiln --dry-run
--dvi doc.dvi --texmf TREE 600` then reads the DVI file and asks kpathsea
for every font's source, VF, TFM and existing PK file, and lists the jobs,
without running METAFONT. For comparison the same source lookups are made
the naive way, one kpsewhich process per font definition.

    bench/lookup-bench.py --kiln build/linux/kiln [--runs 5]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "support"))
import texkit  # noqa: E402

FAMILIES = ["cmr", "cmbx", "cmsl", "cmtt", "cmss", "cmti", "cmmi", "cmsy", "cmssbx",
            "cmssi", "cmbxsl", "cmtcsc", "cmcsc", "cmsltt", "cmitt", "cmu", "cmff",
            "cmfib", "cmdunh", "cmbxti", "cmvtt", "cmssdc", "cmssq", "cmssqi", "cminch"]
SIZES = ["5", "6", "7", "8", "9", "10", "12", "17"]
SCALES = [1000, 1095, 1200, 1315, 1440, 1577, 1728, 2074, 2488, 2986]


def fonts_with_metrics(count):
    """count font names that kpathsea finds a TFM and a source for."""
    candidates = [f + s for f in FAMILIES for s in SIZES]
    found = subprocess.run(["kpsewhich", "-format=tfm"] + candidates,
                           stdout=subprocess.PIPE, text=True).stdout.split()
    have = {os.path.basename(p)[:-4] for p in found}
    sources = subprocess.run(["kpsewhich", "-format=mf"] + candidates,
                             stdout=subprocess.PIPE, text=True).stdout.split()
    have &= {os.path.basename(p)[:-3] for p in sources}
    names = [c for c in candidates if c in have]
    if len(names) < count:
        sys.exit("only %d fonts with TFM and source found" % len(names))
    return names[:count]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kiln", required=True)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)
    work = tempfile.mkdtemp(prefix="kiln-lookup-bench-")
    try:
        env = texkit.private_env(work, locale=None)
        names = fonts_with_metrics(50)
        lines = ["\\magnification=1095"]
        number = 0
        for name in names:
            for scale in SCALES:
                number += 1
                control = "\\csname f%d\\endcsname" % number
                lines.append("\\expandafter\\font%s=%s scaled %d %s x" % (control, name, scale, control))
        lines.append("\\bye")
        texkit.set_document(work, "doc", "\n".join(lines) + "\n", env)
        with open(os.path.join(work, "FONTS.DAT"), "w") as out:
            out.write("600 ljfour\nMF mf \\mode=\nTARGET_DIR %s\nBEGIN_SOURCE\nnone:\n" % work)

        command = [kiln, "--definition", os.path.join(work, "FONTS.DAT"), "--dry-run",
                   "--map", "none", "--dvi", "doc.dvi", "--texmf", os.path.join(work, "tree"), "600"]
        times = []
        for _ in range(args.runs):
            start = time.monotonic()
            result = subprocess.run(command, cwd=work, env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            times.append(time.monotonic() - start)
            if result.returncode != 0:
                sys.exit("kiln failed:\n" + result.stderr)
        jobs = len(result.stdout.splitlines())

        start = time.monotonic()
        for name in names:
            for _ in SCALES:
                subprocess.run(["kpsewhich", "-format=mf", name], env=env,
                               stdout=subprocess.DEVNULL)
        naive = time.monotonic() - start

        print("document: %d font definitions (%d fonts x %d sizes), %d jobs listed"
              % (number, len(names), len(SCALES), jobs))
        print("kiln --dry-run --dvi (read, lookups, listing): median %.3f s, min %.3f s over %d runs"
              % (statistics.median(times), min(times), args.runs))
        print("one kpsewhich per font definition, sources only: %.3f s" % naive)
    finally:
        shutil.rmtree(work, True)


if __name__ == "__main__":
    main()
