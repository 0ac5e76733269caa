#!/usr/bin/env python3
"""Time and peak memory of kiln over huge and malformed definition files.

Each case is a generated definition file, run twice: `kiln --dry-run` (the
reader and the job generator alone) and a real run with fast stand-ins for
METAFONT and gftopk (the whole batch: counting pass, generation pass,
filing). The table gives wall time, peak resident memory (of kiln itself,
from wait4), the exit status and how much kiln said on standard error, and
ratios against a small well-formed file, so that growth can be judged:
memory should stay flat, time should grow with the size of the file and the
number of jobs, and every refusal should come with a message.

    bench/bad-input.py --kiln build/linux/kiln [--scale 0.1] [--keep DIR]
"""

import argparse
import os
import random
import selectors
import shutil
import subprocess
import sys
import tempfile
import time

TIME = shutil.which("time", path="/usr/bin:/bin")

HEADER = "600 ljfour\nMF mf \\mode=\nTARGET_DIR {target}\nERROR_REACTION I\nBEGIN_SOURCE\n"

# Stand-ins: METAFONT leaves NAME.600gf, NAME.tfm and NAME.log (the font is
# the last word of its command line, every case uses magnification 1);
# gftopk leaves a PK file. Both are plain sh so that their own start-up
# does not hide kiln's cost.
FAKE_MF = """#!/bin/sh
for word; do font=$word; done
echo gf > "$font.600gf"; echo tfm > "$font.tfm"; echo log > "$font.log"
"""
FAKE_GFTOPK = """#!/bin/sh
echo pk > "$2"
"""


def cases(scale):
    n = lambda count: max(1, int(count * scale))
    rng = random.Random(5)
    kb = 1024

    def small():
        return "cm:\ncmr 5 6 7 8 9 10 12 17\ncmbx 10 12\n", ["600", "cm"]

    def many_lines():
        # Every line names the same font: the counting pass counts each,
        # the generation pass builds it once and skips the rest.
        return "big:\n" + "cmr 10\n" * n(100_000), ["600", "big"]

    def many_distinct_lines():
        return "big:\n" + "".join("f%d 10\n" % i for i in range(n(100_000))), ["600", "big"]

    def long_line_of_entries():
        entries = " ".join("%d" % (i % 50 + 5) for i in range(n(200_000)))
        return "wide:\ncmr " + entries + "\n", ["600", "wide"]

    def long_garbage_line():
        return "g:\n" + "x" * n(4 * kb * kb) + "\ncmr 10\n", ["600", "g"]

    def binary_bytes():
        noise = bytes(rng.randrange(256) for _ in range(n(1 * kb * kb)))
        return b"bin:\n" + noise + b"\ncmr 10\n", ["600", "bin"]

    def nul_bytes():
        return b"nul:\ncmr 10\0 12\n" + b"\0" * n(1 * kb * kb) + b"\ncmr 17\n", ["600", "nul"]

    def long_names():
        # A prefix that makes every command line too long (refused with a
        # message), a label of 64 KB, and a 64 KB set name on the command line.
        label = "L" * (64 * kb)
        text = "long:\n" + ("p" * (8 * kb)) + " 10 12\n" + label + ":\ncmr 10\n"
        return text, ["600", "long", label, "N" * (64 * kb)]

    def thousand_sets():
        text = "".join("s%d:\nf%d 10\n" % (i, i) for i in range(n(1000)))
        return text, ["600"]  # a resolution alone chooses every set

    return [
        ("small (baseline)", small),
        ("100,000 lines, one font", many_lines),
        ("100,000 lines, distinct fonts", many_distinct_lines),
        ("one line of 200,000 entries", long_line_of_entries),
        ("a 4 MB line of garbage", long_garbage_line),
        ("1 MB of random bytes", binary_bytes),
        ("1 MB of NUL bytes", nul_bytes),
        ("8 KB prefix, 64 KB label and name", long_names),
        ("1,000 font sets", thousand_sets),
    ]


def peak_kb(pid):
    """kiln's own high-water mark so far (its memory after exec only)."""
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except (OSError, ValueError):
        pass
    return 0


def run_measured(command, cwd, env, timeout):
    # The peak memory of a process that Python forks starts at Python's own
    # size, so kiln is started by GNU time when it is there, whose child's
    # figure is kiln's alone; otherwise kiln's high-water mark is sampled.
    report = os.path.join(cwd, "time-report")
    if TIME:
        command = [TIME, "-f", "%M", "-o", report] + command
    started = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    sampled = 0
    out_chunks, err_chunks = [], []
    selector = selectors.DefaultSelector()
    selector.register(process.stdout, selectors.EVENT_READ, out_chunks)
    selector.register(process.stderr, selectors.EVENT_READ, err_chunks)
    open_streams = 2
    while open_streams:
        if time.monotonic() - started > timeout:
            process.kill()
            break
        if not TIME:
            sampled = max(sampled, peak_kb(process.pid))
        for key, _ in selector.select(timeout=0.005):
            data = os.read(key.fileobj.fileno(), 65536)
            if data:
                key.data.append(data)
            else:
                selector.unregister(key.fileobj)
                open_streams -= 1
    process.wait()
    elapsed = time.monotonic() - started
    peak = sampled
    if TIME:
        with open(report) as f:
            lines = f.read().split()
        # GNU time notes a child ended by a signal before the figure.
        peak = int(lines[-1])
        if lines[0] == "Command" and "signal" in lines:
            process.returncode = -int(lines[lines.index("signal") + 1])
    return {
        "exit": process.returncode,
        "seconds": elapsed,
        "rss_kb": peak,
        "stdout_lines": b"".join(out_chunks).count(b"\n"),
        "stderr_bytes": len(b"".join(err_chunks)),
        "stderr": b"".join(err_chunks),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kiln", required=True)
    parser.add_argument("--scale", type=float, default=1.0,
                        help="size of the generated files (1 = the sizes named)")
    parser.add_argument("--timeout", type=float, default=600)
    parser.add_argument("--keep", help="work in this directory and keep it")
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)

    root = args.keep or tempfile.mkdtemp(prefix="kiln-bad-input-")
    os.makedirs(root, exist_ok=True)
    bin_dir = os.path.join(root, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    for name, text in (("mf", FAKE_MF), ("gftopk", FAKE_GFTOPK)):
        path = os.path.join(bin_dir, name)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, 0o755)
    env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""),
               XDG_CONFIG_HOME=os.path.join(root, "config"), NO_COLOR="1", TERM="dumb")

    rows = []
    try:
        for index, (title, make) in enumerate(cases(args.scale)):
            body, words = make()
            target = os.path.join(root, "pk%d" % index)
            shutil.rmtree(target, ignore_errors=True)
            os.mkdir(target)
            header = HEADER.format(target=target)
            data = header.encode() + (body if isinstance(body, bytes) else body.encode())
            definition = os.path.join(root, "case%d.DAT" % index)
            with open(definition, "wb") as f:
                f.write(data)
            base = [kiln, "--definition", definition]
            dry = run_measured(base + ["--dry-run"] + words, root, env, args.timeout)
            real = run_measured(base + words, root, env, args.timeout)
            built = sum(1 for name in os.listdir(target) if name.endswith("pk"))
            rows.append((title, len(data), data.count(b"\n"), dry, real, built))
            print("%-36s done" % title, file=sys.stderr)
    finally:
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)

    base_dry, base_real = rows[0][3], rows[0][4]
    print("\nkiln over huge and malformed definition files (scale %g)\n" % args.scale)
    print("%-36s %9s %8s | %-34s | %-40s" % ("case", "bytes", "lines",
                                             "dry run: s, peak KB, exit, jobs",
                                             "real run: s, peak KB, exit, built, msg B"))
    for title, size, lines, dry, real, built in rows:
        print("%-36s %9d %8d | %6.2f %8d %3d %10d | %6.2f %8d %3d %7d %9d" % (
            title, size, lines, dry["seconds"], dry["rss_kb"], dry["exit"], dry["stdout_lines"],
            real["seconds"], real["rss_kb"], real["exit"], built, real["stderr_bytes"]))
    print("\nRatios against the baseline (peak memory; time per MB of definition file):")
    for title, size, lines, dry, real, built in rows[1:]:
        mb = size / (1024 * 1024)
        print("%-36s memory dry x%.2f real x%.2f; dry %.2f s/MB, real %.2f s/MB%s" % (
            title, dry["rss_kb"] / base_dry["rss_kb"], real["rss_kb"] / base_real["rss_kb"],
            dry["seconds"] / mb, real["seconds"] / mb,
            "; %.1f us per listed job" % (1e6 * dry["seconds"] / dry["stdout_lines"])
            if dry["stdout_lines"] else ""))
    silent = [r[0] for r in rows[1:] if r[4]["exit"] != 0 and r[4]["stderr_bytes"] == 0]
    crashed = [r[0] for r in rows if r[3]["exit"] < 0 or r[4]["exit"] < 0]
    print("\nRuns ending in failure without a word: %s" % (", ".join(silent) or "none"))
    print("Runs ended by a signal: %s" % (", ".join(crashed) or "none"))
    return 1 if silent or crashed else 0


if __name__ == "__main__":
    sys.exit(main())
