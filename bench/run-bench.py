#!/usr/bin/env python3
"""Times kiln's batch against the same work done by a plain shell loop.

The jobs are the bundled example's (examples/FONTS.DAT at one resolution),
taken from `kiln --dry-run`. Each repetition builds every font into a fresh
target directory, once with kiln and once with a generated shell script
that runs the same METAFONT and gftopk command lines and does the same
file moves (copy the TFM and log files into tfm/ and log/, remove the GF,
TFM and log files). A third variant runs only METAFONT and gftopk, the
floor that no driver can beat. Runs alternate, so that drift of the
machine hits all of them alike; medians are compared.

    bench/run-bench.py [--kiln build/linux/kiln] [--reps 5] [--resolution 600]
                       [--definition examples/FONTS.DAT]

The definition file's TARGET_DIR is taken relative to a scratch directory.
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


def loop_script(jobs, with_moves):
    """A plain shell loop over the jobs; the command lines hold no quotes,
    so splitting them at blanks gives what kiln's splitter gives."""
    lines = ["set -u", "mkdir -p tfm log"] if with_moves else ["set -u"]
    for name, res, command in jobs:
        argv = " ".join(shlex.quote(word) for word in command.split())
        gf, pk = "%s.%dgf" % (name, res), "%s.%dpk" % (name, res)
        lines.append("%s </dev/null >/dev/null 2>&1" % argv)
        lines.append("gftopk %s %s >/dev/null 2>&1" % (gf, pk))
        if with_moves:
            lines.append("cp %s.tfm tfm/%s.tfm" % (name, name))
            lines.append("cp %s.log log/%s.log" % (name, name))
            lines.append("rm -f %s.log %s %s.tfm" % (name, gf, name))
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kiln", default=os.path.join(SOURCE, "build", "linux", "kiln"))
    parser.add_argument("--definition", default=os.path.join(SOURCE, "examples", "FONTS.DAT"))
    parser.add_argument("--resolution", type=int, default=600)
    parser.add_argument("--reps", type=int, default=5)
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)
    if not os.access(kiln, os.X_OK):
        sys.exit("bench: no kiln at %s (build it, or give --kiln)" % kiln)
    for program in ("mf", "gftopk"):
        if shutil.which(program) is None:
            sys.exit("bench: %s not found on PATH" % program)

    work = tempfile.mkdtemp(prefix="kiln-bench-")
    try:
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   NO_COLOR="1", TERM="dumb")
        # The example's TARGET_DIR (out/pk) is relative: kiln runs in work/,
        # as the main job runs it in the checkout.
        target = os.path.join(work, "out", "pk")
        os.makedirs(target)
        jobs = texkit.dry_run_jobs(
            kiln, ["--definition", os.path.abspath(args.definition), str(args.resolution)],
            work, env)
        if not jobs:
            sys.exit("bench: the definition file yields no jobs at %d dpi" % args.resolution)
        scripts = {}
        for variant, moves in (("loop", True), ("programs", False)):
            scripts[variant] = os.path.join(work, variant + ".sh")
            with open(scripts[variant], "w") as out:
                out.write(loop_script(jobs, moves))
        commands = {
            "kiln": [kiln, "--definition", os.path.abspath(args.definition),
                     str(args.resolution)],
            "loop": ["bash", scripts["loop"]],
            "programs": ["bash", scripts["programs"]],
        }

        # One untimed round warms the caches (METAFONT's base, the sources).
        times = {variant: [] for variant in list(commands) + ["idle"]}
        cpu = {variant: [] for variant in times}
        results = {}
        for rep in range(args.reps + 1):
            for variant, command in commands.items():
                texkit.fresh(target)
                seconds, cpu_seconds = texkit.timed(command, work if variant == "kiln" else target,
                                                    env)
                results[variant] = sorted(texkit.pk_names(target))
                if rep > 0:
                    times[variant].append(seconds)
                    cpu[variant].append(cpu_seconds)
                if variant == "kiln" and rep > 0:
                    # Again over the finished target: kiln's fixed cost.
                    seconds, cpu_seconds = texkit.timed(command, work, env)
                    times["idle"].append(seconds)
                    cpu["idle"].append(cpu_seconds)
        if results["kiln"] != results["loop"] or len(results["kiln"]) != len(jobs):
            sys.exit("bench: kiln and the loop built different fonts:\n%s\n%s"
                     % (results["kiln"], results["loop"]))

        print("%d fonts at %d dpi from %s, %d repetitions (fresh target each)"
              % (len(jobs), args.resolution, os.path.relpath(args.definition),
                 args.reps))
        for variant, label in (("kiln", "kiln"),
                               ("loop", "shell loop (mf, gftopk, cp, cp, rm)"),
                               ("programs", "mf and gftopk alone"),
                               ("idle", "kiln with nothing left to build")):
            values = times[variant]
            print("  %-33s wall median %.3f s  min %.3f s   CPU median %.3f s"
                  % (label, statistics.median(values), min(values),
                     statistics.median(cpu[variant])))
            print("  %-33s wall %s" % ("", " ".join("%.3f" % v for v in values)))

        def ratio(of, to, table):
            return statistics.median(table[of]) / statistics.median(table[to])
        print("ratio kiln / shell loop:          wall %.3f  CPU %.3f"
              % (ratio("kiln", "loop", times), ratio("kiln", "loop", cpu)))
        print("ratio kiln / mf and gftopk alone: wall %.3f  CPU %.3f"
              % (ratio("kiln", "programs", times), ratio("kiln", "programs", cpu)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
