#!/usr/bin/env python3
"""End-to-end runs of kiln for the fonts of a DVI driver, with the real TeX:
latex sets snippets as image renderers write them, and the driver itself
(dvipng, dvips) says which fonts it asks for: a stand-in mktexpk, first on
PATH, writes each request down and fails. kiln must build exactly those,
where the driver then finds every one of them.

HOME, TEXMFVAR and the configuration folder of every run lie inside the
case's temporary directory, so nothing outside it is written.

    kiln_driver_e2e.py --kiln build/linux/kiln [unittest options]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

KILN = None

PREAMBLE = r"""\documentclass[12pt]{article}
\usepackage[T1]{fontenc}
\usepackage{textcomp}
\usepackage{amsmath}
\pagestyle{empty}
\begin{document}
"""

# What plotting labels and documentation math look like: text in several
# shapes and sizes, symbols of textcomp, display math.
SNIPPETS = [
    r"$\displaystyle \int_0^1 x^2\,dx = \frac{1}{3}$ caf\'e \textit{italic}",
    r"\textbf{Bold} 25\textdegree{}C, 3\texteuro{} $\sum_{k=1}^n k = \binom{n+1}{2}$",
    r"{\large Large} {\small small} \textsc{Small Caps} $\alpha\beta\gamma$",
]

PLAIN_DOCUMENT = r"""\font\ec=ecrm1000 scaled 1200
\ec Hello \tenrm world \bye
"""

STANDIN_MKTEXPK = """#!/bin/sh
echo "$*" >> "$KILN_TEST_REQUESTS"
exit 1
"""


class DriverCase(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kiln-driver-")
        self.addCleanup(shutil.rmtree, self.root, True)
        for name in ("home", "config", "snippets", "standin"):
            os.mkdir(self.path(name))
        self.env = dict(os.environ)
        self.env.update(HOME=self.path("home"), XDG_CONFIG_HOME=self.path("config"),
                        TEXMFVAR=self.path("var"), NO_COLOR="1", TERM="dumb",
                        LC_ALL="C.UTF-8")
        for name in ("TEXMFHOME", "MFINPUTS", "PKFONTS"):
            self.env.pop(name, None)
        standin = self.path("standin", "mktexpk")
        with open(standin, "w", encoding="ascii") as out:
            out.write(STANDIN_MKTEXPK)
        os.chmod(standin, 0o755)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def run_tool(self, command, cwd=None, env=None, timeout=300):
        result = subprocess.run(command, cwd=cwd or self.root, env=env or self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=timeout)
        result.out = result.stdout.decode("utf-8", "replace")
        result.err = result.stderr.decode("utf-8", "replace")
        return result

    def assertExit(self, expected, result):
        self.assertEqual(expected, result.returncode,
                         "--- stdout\n%s\n--- stderr\n%s" % (result.out, result.err))

    def set_snippets(self):
        folder = self.path("snippets")
        for number, body in enumerate(SNIPPETS):
            name = "snippet%d" % number
            with open(os.path.join(folder, name + ".tex"), "w", encoding="ascii") as out:
                out.write(PREAMBLE + body + "\n\\end{document}\n")
            self.assertExit(0, self.run_tool(["latex", "-interaction=nonstopmode",
                                              name + ".tex"], cwd=folder))
        return folder

    def requests(self, command, texmfvar, cwd=None):
        """The fonts the driver asks mktexpk for: {(name, dpi)}, each with
        its mode and base resolution checked against mode."""
        log = self.path("requests.log")
        if os.path.exists(log):
            os.remove(log)
        env = dict(self.env, TEXMFVAR=texmfvar, KILN_TEST_REQUESTS=log,
                   PATH=self.path("standin") + os.pathsep + self.env["PATH"])
        self.run_tool(command, cwd=cwd, env=env)
        asked = set()
        if os.path.exists(log):
            with open(log, encoding="ascii") as lines:
                for line in lines:
                    words = line.split()
                    options = dict(zip(words[0:-1:2], words[1:-1:2]))
                    asked.add((options["--mfmode"], options["--bdpi"], words[-1],
                               int(options["--dpi"])))
        return asked

    def pk_files(self, texmfvar):
        """{(mode, name, dpi)} of the PK files below TEXMFVAR/fonts/pk."""
        made = set()
        top = os.path.join(texmfvar, "fonts", "pk")
        for folder, _, names in os.walk(top):
            for name in names:
                match = re.fullmatch(r"(.+)\.(\d+)pk", name)
                self.assertTrue(match, name)
                mode = os.path.relpath(folder, top).split(os.sep)[0]
                made.add((mode, match.group(1), int(match.group(2))))
        return made

    def dvipng_requests(self, folder, dpi, texmfvar):
        """What dvipng -D dpi asks for, over every DVI file of folder (it
        takes one file a run)."""
        asked = set()
        for name in sorted(os.listdir(folder)):
            if name.endswith(".dvi"):
                asked |= self.requests(["dvipng", "-D", str(dpi), "-o", self.path("out%d.png"),
                                        os.path.join(folder, name)], texmfvar)
        return asked


class ImageRenderers(DriverCase):
    def check_dvipng(self, resolutions):
        folder = self.set_snippets()
        asked = set()
        for dpi in resolutions:
            asked |= self.dvipng_requests(folder, dpi, self.path("cold"))
        self.assertTrue(asked, "dvipng asked for no font: the stand-in was not used")
        # dvipng asks for cx at base 300, at -D times its oversampling 4.
        self.assertEqual({("cx", "300")}, {(mode, base) for mode, base, _, _ in asked})
        wanted = {("cx", name, dpi) for _, _, name, dpi in asked}

        result = self.run_tool([KILN, "-j", "2", "--driver", "dvipng", "--dvi", folder,
                                ",".join(str(dpi) for dpi in resolutions)])
        self.assertExit(0, result)
        self.assertIn("for dvipng: mode cx at 300 dpi", result.err)
        self.assertEqual(wanted, self.pk_files(self.path("var")))
        for dpi in resolutions:
            self.assertEqual(set(), self.dvipng_requests(folder, dpi, self.path("var")),
                             "dvipng -D %d still asks" % dpi)

    def test_dvipng_gets_exactly_the_fonts_it_asks_for(self):
        self.check_dvipng([120])

    def test_two_resolutions_in_one_batch(self):
        self.check_dvipng([100, 150])


class NoSetUp(DriverCase):
    def set_plain(self):
        folder = self.path("doc")
        os.mkdir(folder)
        with open(os.path.join(folder, "paper.tex"), "w", encoding="ascii") as out:
            out.write(PLAIN_DOCUMENT)
        self.assertExit(0, self.run_tool(["tex", "-interaction=nonstopmode", "paper.tex"],
                                         cwd=folder))
        return folder

    def test_fresh_account_needs_nothing_but_the_document(self):
        folder = self.set_plain()
        asked = self.requests(["dvips", "-o", os.devnull, "paper.dvi"], self.path("cold"),
                              cwd=folder)
        self.assertTrue(asked)
        result = self.run_tool([KILN, "--dvi", "paper.dvi"], cwd=folder)
        self.assertExit(0, result)
        # The settings line names dvips's config.ps and the tree.
        self.assertRegex(result.err, r"for dvips: mode \w+ at \d+ dpi \([^)]*config\.ps\)")
        self.assertIn("into the TeX tree %s (TEXMFVAR" % self.path("var"), result.err)
        self.assertEqual([], os.listdir(self.path("config")), "no key file is written")
        self.assertEqual(set(), self.requests(["dvips", "-o", os.devnull, "paper.dvi"],
                                              self.path("var"), cwd=folder))

    def test_a_recorded_mode_line_at_the_resolution_chooses_the_mode(self):
        folder = self.set_plain()
        definition = self.path("FONTS.DAT")
        with open(definition, "w", encoding="ascii") as out:
            out.write("300 cx\nMF mf \\mode=\nTARGET_DIR %s\nBEGIN_SOURCE\ncm:\ncmr 10\n"
                      % self.path("nowhere"))
        self.assertExit(0, self.run_tool([KILN, "--install", definition]))
        at300 = self.run_tool([KILN, "--dry-run", "--dvi", "paper.dvi", "300"], cwd=folder)
        self.assertExit(0, at300)
        self.assertIn("ecrm1000\t360\tmf \\mode=cx; nonstopmode; mag=1+1/5; input ecrm1000",
                      at300.out)
        self.assertIn("mode cx at 300 dpi (the mode line of %s)" % definition, at300.err)
        # No line at 1200: dvips's mode keeps its own resolution.
        at1200 = self.run_tool([KILN, "--dry-run", "--dvi", "paper.dvi", "1200"], cwd=folder)
        self.assertExit(0, at1200)
        self.assertRegex(at1200.out, r"ecrm1000\t1440\tmf \\mode=(?!cx;)\w+; nonstopmode; "
                                     r"mag=\S+; input ecrm1000")


def main():
    global KILN
    parser = argparse.ArgumentParser()
    parser.add_argument("--kiln", required=True)
    args, rest = parser.parse_known_args()
    KILN = os.path.abspath(args.kiln)
    missing = [tool for tool in ("latex", "tex", "dvipng", "dvips", "mf", "gftopk")
               if not shutil.which(tool)]
    if missing:
        print("kiln_driver_e2e: missing %s; install them with "
              "scripts/install-deps.sh metafont" % ", ".join(missing), file=sys.stderr)
        return 1
    unittest.main(argv=[sys.argv[0]] + rest)
    return 0


if __name__ == "__main__":
    sys.exit(main())
