#!/usr/bin/env python3
"""Times a batch of at least 150 jobs at -j 1, -j 2 and -j 0 against a plain
shell loop of the same commands and a loop of mktexpk over the same fonts.

The batch: Computer Modern fonts at several magnifications in ljfour mode
(600 dpi), written to a definition file of its own. The jobs and their
command lines come from `kiln --dry-run`, so the loop runs exactly what
kiln runs, and files the TFM and log files as kiln does (mv into tfm/ and
log/, rm the GF file). mktexpk writes into a temporary TEXMFVAR and its
--destdir, never into the user's own tree. Every variant builds into a
fresh target directory; the variants alternate, so that drift of the
machine hits all of them alike; medians are compared, and the ratios come
from this one run.

    bench/jobs-bench.py [--kiln build/linux/kiln] [--reps 3] [--mktexpk-reps 1]
"""

import argparse
import os
import shlex
import shutil
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
import texkit  # noqa: E402

FONT_LINES = [
    "cmr 5 6 7 8 9 10 12 17",
    "cmbx 5 6 7 8 9 10 12",
    "cmti 7 8 9 10 12",
    "cmsl 8 9 10 12",
    "cmtt 8 9 10 12",
    "cmss 8 9 10 12 17",
]
MAGNIFICATIONS = ["", "m0.5", "m1", "m2", "m3"]
BASE_DPI = 600


def definition_text(target):
    lines = ["%d ljfour" % BASE_DPI, "MF mf \\mode=", "TARGET_DIR %s" % target,
             "ERROR_REACTION I", "BEGIN_SOURCE", "bench:"]
    for line in FONT_LINES:
        prefix, sizes = line.split(" ", 1)
        for mag in MAGNIFICATIONS:
            lines.append(prefix + " " + " ".join(size + mag for size in sizes.split()))
    return "\n".join(lines) + "\n"


def loop_script(jobs, filing=True):
    """The same METAFONT and gftopk lines in a plain shell loop, filing as
    kiln files (or not at all: the floor no driver can beat). The lines hold
    no quotes, so splitting them at blanks gives what kiln's splitter gives."""
    lines = ["set -u", "mkdir -p tfm log"]
    for name, res, command in jobs:
        argv = " ".join(shlex.quote(word) for word in command.split())
        gf, pk = "%s.%dgf" % (name, res), "%s.%dpk" % (name, res)
        lines.append("%s </dev/null >/dev/null 2>&1" % argv)
        lines.append("gftopk %s %s >/dev/null 2>&1" % (gf, pk))
        if filing:
            lines.append("mv %s.tfm tfm/%s.tfm; mv %s.log log/%s.log; rm -f %s"
                         % (name, name, name, name, gf))
    return "\n".join(lines) + "\n"


def mktexpk_script(jobs, destdir):
    lines = ["set -u"]
    for name, res, _ in jobs:
        # The magnification as the TeX programs hand it to mktexpk.
        mag = "%d+%d/%d" % (res // BASE_DPI, res % BASE_DPI, BASE_DPI)
        lines.append("mktexpk --mfmode ljfour --bdpi %d --mag %s --dpi %d --destdir %s %s"
                     " </dev/null >/dev/null 2>&1"
                     % (BASE_DPI, mag, res, shlex.quote(destdir), name))
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kiln", default=os.path.join(SOURCE, "build", "linux", "kiln"))
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--mktexpk-reps", type=int, default=1)
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)
    if not os.access(kiln, os.X_OK):
        sys.exit("bench: no kiln at %s (build it, or give --kiln)" % kiln)
    for program in ("mf", "gftopk", "mktexpk"):
        if shutil.which(program) is None:
            sys.exit("bench: %s not found on PATH" % program)

    work = tempfile.mkdtemp(prefix="kiln-jobs-bench-")
    try:
        target = os.path.join(work, "pk")
        texmfvar = os.path.join(work, "texmf-var")
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   NO_COLOR="1", TERM="dumb", TEXMFVAR=texmfvar,
                   VARTEXFONTS=os.path.join(texmfvar, "fonts"),
                   MT_VARTEXFONTS=os.path.join(texmfvar, "fonts"))
        texkit.fresh(target)
        definition = os.path.join(work, "FONTS.DAT")
        with open(definition, "w") as out:
            out.write(definition_text(target))
        jobs = texkit.dry_run_jobs(kiln, ["--definition", definition, str(BASE_DPI)], work,
                                   env)
        if len(jobs) < 150:
            sys.exit("bench: only %d jobs" % len(jobs))
        scripts = {"loop": loop_script(jobs), "programs": loop_script(jobs, False),
                   "mktexpk": mktexpk_script(jobs, target)}
        for name, text in scripts.items():
            with open(os.path.join(work, name + ".sh"), "w") as out:
                out.write(text)

        kiln_run = [kiln, "--definition", definition]
        commands = {
            "-j 1": (kiln_run + ["-j", "1", str(BASE_DPI)], work),
            "-j 2": (kiln_run + ["-j", "2", str(BASE_DPI)], work),
            "-j 0": (kiln_run + ["-j", "0", str(BASE_DPI)], work),
            "loop": (["bash", os.path.join(work, "loop.sh")], target),
            "programs": (["bash", os.path.join(work, "programs.sh")], target),
            "mktexpk": (["bash", os.path.join(work, "mktexpk.sh")], target),
        }
        times = {variant: [] for variant in commands}
        built = {}
        # One untimed round of kiln warms the caches (METAFONT's base, the
        # sources); then the variants alternate.
        texkit.fresh(target)
        texkit.timed(*commands["-j 1"], env)
        for rep in range(args.reps):
            for variant, (command, cwd) in commands.items():
                if variant == "mktexpk" and rep >= args.mktexpk_reps:
                    continue
                texkit.fresh(target)
                texkit.fresh(texmfvar)
                times[variant].append(texkit.timed(command, cwd, env)[0])
                built[variant] = sorted(texkit.pk_names(target))
        expected = sorted("%s.%dpk" % (name, res) for name, res, _ in jobs)
        for variant, files in built.items():
            if files != expected:
                sys.exit("bench: %s built %d PK files, not the %d expected"
                         % (variant, len(files), len(expected)))

        print("%d jobs (CM fonts at %d magnifications, ljfour %d dpi), %d cores available,"
              " %d repetitions" % (len(jobs), len(MAGNIFICATIONS), BASE_DPI,
                                   len(os.sched_getaffinity(0)), args.reps))
        labels = {"-j 1": "kiln -j 1", "-j 2": "kiln -j 2", "-j 0": "kiln -j 0",
                  "loop": "shell loop (mf, gftopk, mv, mv, rm)",
                  "programs": "shell loop of mf and gftopk alone",
                  "mktexpk": "loop of mktexpk"}
        median = {v: statistics.median(t) for v, t in times.items()}
        for variant, values in times.items():
            print("  %-36s median %7.3f s   runs %s" % (
                labels[variant], median[variant], " ".join("%.3f" % v for v in values)))
        print("ratio -j 1 / shell loop:      %.3f  (goal <= 1.03)"
              % (median["-j 1"] / median["loop"]))
        print("ratio -j 1 / mf and gftopk:   %.3f" % (median["-j 1"] / median["programs"]))
        print("speed-up -j 2 over -j 1:      %.2fx (goal >= 1.8)"
              % (median["-j 1"] / median["-j 2"]))
        print("speed-up -j 0 over -j 1:      %.2fx" % (median["-j 1"] / median["-j 0"]))
        print("speed-up -j 2 over mktexpk:   %.2fx (goal >= 6)"
              % (median["mktexpk"] / median["-j 2"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
