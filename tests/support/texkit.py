"""What the end-to-end tests and the benchmarks share: a TeX environment of
their own in a scratch folder (HOME, TEXMFVAR and the configuration folder
inside it, so that no run writes anything of the user's), running programs
with their output caught and timed, documents set with tex and latex,
stand-in programs first on PATH, and the PK files found below a tree.

Scripts elsewhere in the source tree import it with

    sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
    import texkit
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# Settings of a user's that would send lookups or fonts elsewhere.
FOREIGN_VARIABLES = ("TEXMFHOME", "MFINPUTS", "PKFONTS", "DVIPSHEADERS")

PK_MAGIC = b"\xf7\x59"  # PK preamble command and the format's id byte

# A LaTeX article as users write them: 12pt, T1 fonts, AMS symbols, small
# capitals, footnotes, sans serif and typewriter.
LATEX_ARTICLE = r"""\documentclass[12pt]{article}
\usepackage[T1]{fontenc}
\usepackage{amssymb}
\begin{document}
\section{Introduction}
Some text in \textsc{Small Capitals}, \textbf{bold}, \emph{emphasis},
\texttt{typewriter} and \textsf{sans serif}.\footnote{A footnote, set
smaller, with \textit{italics}.} Symbols: $\mathbb{R} \subsetneq
\mathfrak{A}$, $\sum_{i=1}^n x_i^2 \leq \int_0^1 f(t)\,dt$.
\subsection{More}
\begin{itemize}\item First. \item \textbf{\textit{Second.}}\end{itemize}
\end{document}
"""


def private_env(root, locale="C.UTF-8", texmfvar="var", base=None):
    """The environment of a run inside root: HOME, XDG_CONFIG_HOME and
    TEXMFVAR below it, plain output, and no foreign search paths."""
    env = dict(os.environ if base is None else base)
    env.update(HOME=os.path.join(root, "home"), XDG_CONFIG_HOME=os.path.join(root, "config"),
               TEXMFVAR=os.path.join(root, texmfvar), NO_COLOR="1", TERM="dumb")
    if locale:
        env["LC_ALL"] = locale
    for name in FOREIGN_VARIABLES:
        env.pop(name, None)
    for name in ("home", "config"):
        os.makedirs(env["HOME"] if name == "home" else env["XDG_CONFIG_HOME"], exist_ok=True)
    return env


def with_path_first(env, folder):
    """env with folder first on PATH."""
    return dict(env, PATH=folder + os.pathsep + env.get("PATH", ""))


class Result:
    """A finished program: returncode, out and err as text, seconds."""

    def __init__(self, returncode, out, err, seconds):
        self.returncode = returncode
        self.out = out
        self.err = err
        self.seconds = seconds


def run(command, cwd, env, timeout=300, new_session=False, input_bytes=None):
    """Runs command with its output caught; standard input is empty (or
    input_bytes), so a program that asks ends instead of waiting."""
    begin = time.perf_counter()
    done = subprocess.run(command, cwd=cwd, env=env,
                          stdin=subprocess.DEVNULL if input_bytes is None else None,
                          input=input_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, start_new_session=new_session)
    return Result(done.returncode, done.stdout.decode("utf-8", "replace"),
                  done.stderr.decode("utf-8", "replace"), time.perf_counter() - begin)


def timed(command, cwd, env, check=True):
    """Wall-clock seconds and CPU seconds (user + system of the whole process
    tree: wait4 reports the reaped descendants too) of one run whose output
    is dropped. check: a failed run ends the benchmark, naming it."""
    with tempfile.TemporaryFile() as errors:
        begin = time.perf_counter()
        child = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=errors)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - begin
        code = os.waitstatus_to_exitcode(status)
        if check and code != 0:
            errors.seek(0)
            sys.exit("bench: %s failed (%d):\n%s" % (" ".join(command[:3]), code,
                                                      errors.read().decode(errors="replace")))
    return seconds, usage.ru_utime + usage.ru_stime


def write(path, text, encoding="ascii", executable=False):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding=encoding) as out:
        out.write(text)
    if executable:
        os.chmod(path, 0o755)
    return path


def stand_in(folder, name, script):
    """An executable shell script folder/name standing in for a program."""
    return write(os.path.join(folder, name), "#!/bin/sh\n" + script, executable=True)


def fresh(directory):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)


def set_document(folder, name, text, env, engine="tex"):
    """Sets folder/name.tex with engine (tex or latex); the DVI file's path.
    A document that does not set ends the test or benchmark with TeX's log."""
    write(os.path.join(folder, name + ".tex"), text)
    done = run([engine, "-interaction=nonstopmode", name + ".tex"], folder, env)
    dvi = os.path.join(folder, name + ".dvi")
    if done.returncode != 0 or not os.path.exists(dvi):
        raise RuntimeError("%s %s.tex failed:\n%s" % (engine, name, done.out[-3000:]))
    return dvi


def files_below(top):
    """Every file below top, relative to it, sorted."""
    found = []
    for folder, _, names in os.walk(top):
        found += [os.path.relpath(os.path.join(folder, n), top) for n in names]
    return sorted(found)


def pk_names(tree):
    """The names of the PK files anywhere below tree."""
    return {n for _, _, names in os.walk(tree) for n in names if n.endswith("pk")}


def pk_without_comment(data):
    """A PK file's bytes but its preamble comment (METAFONT's date), which
    two builds of the same font differ in."""
    if len(data) < 3 or data[:2] != PK_MAGIC:
        raise AssertionError("not a PK file")
    return data[:2] + data[3 + data[2]:]


def pk_count(tree):
    """How many PK files lie below tree."""
    return sum(n.endswith("pk") for _, _, names in os.walk(tree) for n in names)


def pk_fonts(tree):
    """{(mode, name, dpi)} of the NAME.DPIpk files below tree/fonts/pk."""
    made = set()
    top = os.path.join(tree, "fonts", "pk")
    for folder, _, names in os.walk(top):
        for name in names:
            match = re.fullmatch(r"(.+)\.(\d+)pk", name)
            if not match:
                raise AssertionError("not a PK file name: " + os.path.join(folder, name))
            mode = os.path.relpath(folder, top).split(os.sep)[0]
            made.add((mode, match.group(1), int(match.group(2))))
    return made


# A font maker that writes down each request and fails, so that the driver
# goes on to the next font; or answers with a PK file of another font (only
# the requests count), which spares the driver a second request.
RECORDING_MKTEXPK = """echo "$*" >> "{log}"
{answer}
"""


def recording_maker(folder, log, answer=None):
    """A stand-in mktexpk in folder that records every request in log."""
    reply = 'echo "%s"; exit 0' % answer if answer else "exit 1"
    return stand_in(folder, "mktexpk", RECORDING_MKTEXPK.format(log=log, answer=reply))


def maker_requests(log):
    """The requests of a recording maker's log, in order: one dict each with
    the options ("mfmode", "bdpi", "mag", "dpi", ...) and "name"."""
    found = []
    if os.path.exists(log):
        with open(log, encoding="ascii") as lines:
            for line in lines:
                words = line.split()
                request = {"name": words[-1]}
                for option, value in zip(words[0:-1:2], words[1:-1:2]):
                    request[option.lstrip("-")] = value
                found.append(request)
    return found


def dry_run_jobs(kiln, arguments, cwd, env):
    """The jobs `kiln --dry-run ARGUMENTS` lists: (name, dpi, METAFONT command)."""
    done = run([kiln, "--dry-run"] + list(arguments), cwd, env)
    if done.returncode != 0:
        raise RuntimeError("kiln --dry-run failed:\n" + done.err[-3000:])
    jobs = []
    for line in done.out.splitlines():
        name, dpi, command = line.split("\t")
        jobs.append((name, int(dpi), command))
    return jobs


def missing_programs(names):
    return [name for name in names if shutil.which(name) is None]


class Case(unittest.TestCase):
    """A scratch folder per case, removed after it; path, write, run_tool,
    assertExit. Subclasses set ROOT_PREFIX and, in setUp, self.env."""

    ROOT_PREFIX = "kiln-test-"
    TIMEOUT = 300

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix=self.ROOT_PREFIX)
        self.addCleanup(shutil.rmtree, self.root, True)
        self.env = dict(os.environ)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write(self, name, text, encoding="ascii"):
        return write(self.path(name), text, encoding)

    def run_tool(self, command, cwd=None, env=None, timeout=None):
        return run(command, cwd or self.root, env or self.env, timeout or self.TIMEOUT,
                   new_session=True)

    def assertExit(self, expected, result):
        self.assertEqual(expected, result.returncode,
                         "exit status\n--- stdout\n%s\n--- stderr\n%s"
                         % (result.out[-3000:], result.err[-3000:]))


def main(module, needs=(), missing_is_failure=True, verbosity=1):
    """The entry of a test script: --kiln sets module.KILN; the programs of
    needs must be on PATH (missing: a failure, or a skip of the whole
    script); the rest of the arguments go to unittest."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--kiln", required=True)
    args, rest = parser.parse_known_args()
    module.KILN = os.path.abspath(args.kiln)
    missing = missing_programs(needs)
    if missing:
        print("%s: missing %s; install them with scripts/install-deps.sh metafont"
              % (os.path.basename(sys.argv[0]), ", ".join(missing)), file=sys.stderr)
        return 1 if missing_is_failure else 0
    program = unittest.main(module=module, argv=[sys.argv[0]] + rest, exit=False,
                            verbosity=verbosity)
    return 0 if program.result.wasSuccessful() else 1
