#!/usr/bin/env python3
"""kill -9 at random instants of a two-at-once batch into a TeX tree with an
ls-R, with a METAFONT that takes a quarter of a second per font.

After every kill: no METAFONT or gftopk of kiln's is left (the test is the
subreaper of everything it starts, so a child that outlives kiln becomes the
test's own and is seen in /proc), and every PK file in the tree is whole.
Then one run to its end must leave the full set of fonts, no scratch folder,
no GF file, and an ls-R that lists every font of the tree once.

    kill_test.py --kiln build/linux/kiln [--kills N] [--seed S]
"""

import argparse
import ctypes
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from faults_test import pk_complete  # noqa: E402

LS_R_HEADER = "% ls-R -- filename database for kpathsea; do not change this line.\n"
PR_SET_CHILD_SUBREAPER = 36
FONTS = ["cmr5", "cmr6", "cmr7", "cmr8", "cmr9", "cmr10", "cmr12", "cmr17", "cmbx10",
         "cmbx12", "cmti10", "cmti12", "cmsl10", "cmss10", "cmtt10", "cmsy10"]
RESOLUTIONS = [(720, "1+120/600"), (864, "2+264/600"), (1037, "3+437/600")]
OUTSIDE = ["kilnsq"]  # a source outside every tree: its TFM goes into the tree too
OUTSIDE_SOURCE = """mode_setup; font_size 10pt#;
beginchar("A", 5pt#, 5pt#, 0); fill unitsquare scaled w; endchar;
end
"""
# METAFONT, a quarter of a second late, in the same process (exec), so that
# the process kiln started is the one that runs METAFONT.
SLOW_MF = """#!/usr/bin/env python3
import os, sys, time
if not any("pixels_per_inch" in a for a in sys.argv):
    time.sleep(0.25)
os.execv({real!r}, [{real!r}] + sys.argv[1:])
"""


def processes_of_mine():
    return processes_of_pid(os.getpid())


def dying(pid):
    """True when the process has a SIGKILL pending, is exiting, or is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
        with open("/proc/%d/status" % pid) as f:
            status = dict(line.split(":", 1) for line in f.read().splitlines() if ":" in line)
    except (OSError, ValueError):
        return True
    fields = stat[stat.rindex(")") + 2:].split()
    pf_exiting = 0x4
    if fields[0] in ("Z", "X") or int(fields[6]) & pf_exiting:
        return True
    sigkill = 1 << (signal.SIGKILL - 1)
    return any(int(status.get(key, "0").strip(), 16) & sigkill for key in ("SigPnd", "ShdPnd"))


def count_pk(tree):
    return sum(len([n for n in names if n.endswith("pk")])
               for _, _, names in os.walk(os.path.join(tree, "fonts")))


def reap():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def lsr_entries(path):
    entries, folder = [], None
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f.read().splitlines():
            if line.endswith(":"):
                folder = line[:-1]
                folder = folder[2:] if folder.startswith("./") else folder
            elif line and not line.startswith("%") and folder is not None:
                entries.append(folder + "/" + line)
    return entries


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kiln", required=True)
    parser.add_argument("--kills", type=int, default=20)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    kiln = os.path.abspath(args.kiln)
    real_mf = shutil.which("mf")
    if not real_mf or not shutil.which("gftopk"):
        sys.exit("kill_test: mf and gftopk must be on PATH")
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("kill_test: cannot become a subreaper")

    root = tempfile.mkdtemp(prefix="kiln-kill-")
    try:
        return run(kiln, real_mf, root, rng, args.kills, seed)
    finally:
        shutil.rmtree(root, True)


def run(kiln, real_mf, root, rng, kills, seed):
    started = time.monotonic()
    tree = os.path.join(root, "tree")
    for folder in ("tree", "bin", "config", "home", "src", "flat"):
        os.mkdir(os.path.join(root, folder))
    with open(os.path.join(tree, "ls-R"), "w") as f:
        f.write(LS_R_HEADER)
    with open(os.path.join(root, "bin", "mf"), "w") as f:
        f.write(SLOW_MF.format(real=real_mf))
    os.chmod(os.path.join(root, "bin", "mf"), 0o755)
    for name in OUTSIDE:
        with open(os.path.join(root, "src", name + ".mf"), "w") as f:
            f.write(OUTSIDE_SOURCE)
    jobs = [(font, dpi, mag) for font in FONTS + OUTSIDE for dpi, mag in RESOLUTIONS]
    with open(os.path.join(root, "missfont.log"), "w") as f:
        for font, dpi, mag in jobs:
            f.write("mktexpk --mfmode ljfour --bdpi 600 --mag %s --dpi %d %s\n"
                    % (mag, dpi, font))
    with open(os.path.join(root, "FONTS.DAT"), "w") as f:
        f.write("600 ljfour\nMF mf \\mode=\nTARGET_DIR %s\nERROR_REACTION S\n"
                "BEGIN_SOURCE\ncm:\ncmr 10\n" % os.path.join(root, "flat"))
    env = dict(os.environ, PATH=os.path.join(root, "bin") + os.pathsep + os.environ["PATH"],
               HOME=os.path.join(root, "home"), XDG_CONFIG_HOME=os.path.join(root, "config"),
               TEXMFVAR=os.path.join(root, "home", "var"), MFINPUTS=os.path.join(root, "src") + ":",
               NO_COLOR="1", TERM="dumb", LC_ALL="C.UTF-8")
    # Bitmaps for every font: the map would leave the CM fonts to their outlines.
    command = [kiln, "--definition", os.path.join(root, "FONTS.DAT"), "-j", "2", "--map", "none",
               "--texmf", tree, "--missfont", os.path.join(root, "missfont.log"), "600"]

    problems = []
    left_at_once = left_living = left_after = whole_checked = 0
    killed_while_building = 0
    font_time = 0.5  # seconds between two new fonts, as seen so far
    for kill in range(kills):
        process = subprocess.Popen(command, cwd=root, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # One kill in four at any instant of the start (lookups, the mode
        # question); the others once the batch builds: after its first new
        # font, somewhere in the time a font takes (measured as it goes, so
        # that a slow machine is killed as often in the middle of a font).
        if kill % 4 == 0:
            time.sleep(rng.uniform(0.0, 0.5))
        else:
            before = count_pk(tree)
            deadline = time.monotonic() + 60
            waited = time.monotonic()
            while process.poll() is None and time.monotonic() < deadline:
                if count_pk(tree) > before:
                    break
                time.sleep(0.005)
            font_time = 0.8 * font_time + 0.2 * min(time.monotonic() - waited, 5.0)
            time.sleep(rng.uniform(0.0, font_time))
        if process.poll() is not None:
            problems.append("kill %d: kiln had ended (%d) before the kill"
                            % (kill + 1, process.returncode))
            continue
        building = any(name in ("mf", "python3", "gftopk") for _, name, _ in
                       processes_of_pid(process.pid))
        killed_while_building += building
        process.send_signal(signal.SIGKILL)
        process.wait()
        # Whatever kiln started and is still there now belongs to this test.
        # A child that dies with kiln has its SIGKILL pending or is exiting
        # already; one that neither does, looked at twice, lives on.
        orphans = [p for p in processes_of_mine() if p[2] != "Z"]
        left_at_once += len(orphans)
        # A child still named kiln has not reached its exec: it finds its
        # parent gone and leaves by itself, which the one-second wait below
        # holds it to.
        living = [p for p in orphans if p[1] != "kiln" and not dying(p[0])]
        if living:
            time.sleep(0.01)
            living = [p for p in living if os.path.exists("/proc/%d" % p[0]) and not dying(p[0])]
        if living:
            left_living += len(living)
            problems.append("kill %d: alive after kiln, not dying: %s" % (kill + 1, living))
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            reap()
            orphans = [p for p in processes_of_mine() if p[2] != "Z"]
            if not orphans:
                break
            time.sleep(0.01)
        reap()
        if orphans:
            left_after += len(orphans)
            problems.append("kill %d: still running 1 s after the kill: %s" % (kill + 1, orphans))
            for pid, _, _ in orphans:
                os.kill(pid, signal.SIGKILL)
            time.sleep(0.1)
            reap()
        for folder, _, names in os.walk(os.path.join(tree, "fonts")):
            for name in names:
                if name.endswith("pk"):
                    whole_checked += 1
                    with open(os.path.join(folder, name), "rb") as f:
                        if not pk_complete(f.read()):
                            problems.append("kill %d: %s is not whole" % (kill + 1, name))

    built_before_last = count_pk(tree)
    last = subprocess.run(command, cwd=root, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    if last.returncode != 0:
        problems.append("the last run ended with %d:\n%s" % (last.returncode,
                        last.stderr.decode(errors="replace")))
    in_tree = []
    for folder, _, names in os.walk(tree):
        for name in names:
            in_tree.append(os.path.relpath(os.path.join(folder, name), tree))
    for font, dpi, _ in jobs:
        rel = "kiln" if font in OUTSIDE else "public/cm"
        pk = "fonts/pk/ljfour/%s/%s.%dpk" % (rel, font, dpi)
        if pk not in in_tree:
            problems.append("missing after the last run: " + pk)
            continue
        with open(os.path.join(tree, pk), "rb") as f:
            if not pk_complete(f.read()):
                problems.append(pk + " is not whole")
    # A font from outside every tree needs its TFM in the tree, whatever kill
    # came between filing its PK and its TFM.
    for font in OUTSIDE:
        if "fonts/tfm/kiln/%s.tfm" % font not in in_tree:
            problems.append("missing after the last run: fonts/tfm/kiln/%s.tfm" % font)
    for name in in_tree:
        if name.endswith("gf") or ".kiln-job." in name or name.endswith(".kiln-partial"):
            problems.append("left in the tree: " + name)
    if any(n.startswith(".kiln-job.") for n in os.listdir(os.path.join(tree, "kiln"))):
        problems.append("a scratch folder is left in the tree's work folder")
    fonts = sorted(n for n in in_tree if n.startswith("fonts/"))
    listed = lsr_entries(os.path.join(tree, "ls-R"))
    twice = sorted(set(e for e in listed if listed.count(e) > 1))
    unlisted = [n for n in fonts if n not in listed]
    if twice:
        problems.append("listed twice in ls-R: %s" % twice)
    if unlisted:
        problems.append("not in ls-R: %s" % unlisted)
    # kpathsea, searching the tree through ls-R alone, finds a font.
    found = subprocess.run(["kpsewhich", "-format=pk", "-mode=ljfour", "-dpi=720", "cmr5"],
                           env=dict(env, TEXMFDBS=tree, TEXMFHOME="!!" + tree),
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if not found.stdout.decode().startswith(tree):
        problems.append("kpathsea does not find cmr5.720pk through ls-R")

    print("kill_test: seed %d; %d kills (%d while METAFONT or gftopk ran), %d processes of "
          "kiln's found at once after a kill (%d of them not dying), %d still running 1 s "
          "later; %d PK files "
          "checked whole; %d of %d fonts built before the last run; the last run built "
          "the rest: %d PK and TFM files in the tree, %d ls-R entries for them; %.1f s"
          % (seed, kills, killed_while_building, left_at_once, left_living, left_after,
             whole_checked,
             built_before_last, len(jobs), len(fonts), len(listed),
             time.monotonic() - started))
    for problem in problems:
        print("kill_test: " + problem, file=sys.stderr)
    return 1 if problems else 0


def processes_of_pid(pid):
    """(pid, name, state) of the children of pid."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[1]) == pid:
            found.append((int(entry), stat[stat.index("(") + 1:stat.rindex(")")], fields[0]))
    return found


if __name__ == "__main__":
    sys.exit(main())
