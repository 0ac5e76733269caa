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

import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import texkit  # noqa: E402

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

class DriverCase(texkit.Case):
    ROOT_PREFIX = "kiln-driver-"

    def setUp(self):
        super().setUp()
        os.mkdir(self.path("snippets"))
        self.env = texkit.private_env(self.root)

    def set_snippets(self):
        folder = self.path("snippets")
        for number, body in enumerate(SNIPPETS):
            texkit.set_document(folder, "snippet%d" % number,
                                PREAMBLE + body + "\n\\end{document}\n", self.env, "latex")
        return folder

    def requests(self, command, texmfvar, cwd=None):
        """The fonts the driver asks mktexpk for: {(mode, base, name, dpi)}."""
        log = self.path("requests.log")
        if os.path.exists(log):
            os.remove(log)
        texkit.recording_maker(self.path("standin"), log)
        env = texkit.with_path_first(dict(self.env, TEXMFVAR=texmfvar), self.path("standin"))
        self.run_tool(command, cwd=cwd, env=env)
        return {(r["mfmode"], r["bdpi"], r["name"], int(r["dpi"]))
                for r in texkit.maker_requests(log)}

    def pk_files(self, texmfvar):
        return texkit.pk_fonts(texmfvar)

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
        texkit.set_document(folder, "paper", PLAIN_DOCUMENT, self.env)
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

    def test_pdftex_and_xdvi_settings_come_from_their_own_files(self):
        # A kpsewhich that answers for the drivers' files with files of the
        # test's own, whatever the machine has installed, and asks the real
        # one everything else. METAFONT beside it: kiln asks the kpsewhich
        # beside the METAFONT it runs.
        folder = self.set_plain()
        standin = self.path("kpathsea")
        os.makedirs(standin)
        os.symlink(shutil.which("mf"), os.path.join(standin, "mf"))
        texkit.write(os.path.join(standin, "pdftexconfig.tex"),
                     "\\pdfpkresolution=1200\n\\pdfpkmode={ljfive}\n")
        texkit.write(os.path.join(standin, "XDvi"), "XDvi*mfmode: nexthi:400\n")
        texkit.stand_in(standin, "kpsewhich", (
            'for last; do :; done\n'
            'case "$*" in *-expand-var=*)\n'
            '  case "$last" in pdftexconfig.tex|XDvi) echo "/ 0"; echo "%s/$last"; exit 0;; esac;;\n'
            'esac\n'
            'exec "%s" "$@"\n') % (standin, shutil.which("kpsewhich")))
        env = texkit.with_path_first(self.env, standin)
        for driver, settings in (("pdftex", "mode ljfive at 1200 dpi (%s/pdftexconfig.tex)"),
                                 ("xdvi", "mode nexthi at 400 dpi (%s/XDvi)")):
            with self.subTest(driver=driver):
                listed = self.run_tool([KILN, "--dry-run", "--driver", driver, "--map", "none",
                                        "--dvi", "paper.dvi"], cwd=folder, env=env)
                self.assertExit(0, listed)
                self.assertIn("for %s: %s" % (driver, settings % standin), listed.err)

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


if __name__ == "__main__":
    sys.exit(texkit.main(sys.modules[__name__],
                         needs=("latex", "tex", "dvipng", "dvips", "mf", "gftopk")))
