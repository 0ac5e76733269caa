#!/usr/bin/env python3
"""kiln as the font maker that TeX's drivers run (mktexpk first on PATH),
with the real dvips, dvipng, kpsewhich, METAFONT and gftopk:

- the PK files are those TeX's own maker makes (folders, names, bytes but
  METAFONT's date comment), for dvips and for dvipng;
- the first request of a driver builds its whole document, and later ones
  start no METAFONT; with the tree's folders in place the driver asks once;
- concurrent requests for one font run METAFONT once, and ls-R lists every
  file once;
- a failing request exits 1 with nothing on standard output; a killed one
  leaves nothing that a driver or a later request trips over.

Counting stand-ins for mf and kpsewhich (which run the real programs) write
one shared log. Every run's HOME, TEXMFVAR and configuration lie in the
case's temporary directory.

    kiln_ondemand_e2e.py --kiln build/linux/kiln [unittest options]
"""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import texkit  # noqa: E402

KILN = None

# EC fonts at a magstep and at their own size, a logo font, a source beside
# the document; CM is left to its outlines by the default map.
PLAIN = r"""\font\ec=ecrm1000 scaled \magstep1 \font\bx=ecbx1000
\font\logo=logo10 scaled 1440 \font\local=kilnlocal
\ec Hello \bx bold \logo META \local A \tenrm roman \bye
"""

LOCAL_SOURCE = """mode_setup; font_size 10pt#;
beginchar("A", 5pt#, 5pt#, 0); fill unitsquare scaled w; endchar;
end
"""

# Reads a file that is not there: METAFONT stops with an error.
BROKEN_SOURCE = "mode_setup; input kilnnosuchbase; end\n"

# Keeps METAFONT busy for a few seconds before it writes anything.
SLOW_SOURCE = """mode_setup; font_size 10pt#;
for i=1 upto 60: for j=1 upto 1000: for k=1 upto 1000: endfor endfor endfor
beginchar("A", 5pt#, 5pt#, 0); fill unitsquare scaled w; endchar;
end
"""

FORMULA = r"""\documentclass[12pt]{article}
\usepackage[T1]{fontenc}
\pagestyle{empty}
\begin{document}
Caf\'e $\displaystyle \int_0^1 x^2\,dx = \frac{1}{3}$ \textit{italic}
\end{document}
"""

# mf and kpsewhich that write what they are asked to the shared log and
# run the real program; kiln takes the mf beside the kpsewhich it finds.
COUNTING_MF = 'echo "mf $*" >> "{log}"\nexec {real} "$@"\n'
COUNTING_KPSEWHICH = 'exec {real} "$@"\n'
COUNTING_MAKER = 'echo "maker $*" >> "{log}"\nexec "{maker}" "$@"\n'


class MakerCase(texkit.Case):
    ROOT_PREFIX = "kiln-ondemand-"

    def setUp(self):
        super().setUp()
        self.env = texkit.private_env(self.root)
        self.maker_dir = os.path.join(os.path.dirname(KILN), "lib", "fontkiln", "bin")
        self.assertTrue(os.access(os.path.join(self.maker_dir, "mktexpk"), os.X_OK),
                        "the build makes lib/fontkiln/bin/mktexpk")
        self.log = self.path("calls.log")
        shims = self.path("shims")
        for name, script in (("mf", COUNTING_MF), ("kpsewhich", COUNTING_KPSEWHICH)):
            texkit.stand_in(shims, name, script.format(log=self.log,
                                                        real=shutil.which(name)))
        texkit.stand_in(shims, "mktexpk",
                        COUNTING_MAKER.format(log=self.log,
                                              maker=os.path.join(self.maker_dir, "mktexpk")))
        self.kiln_env = texkit.with_path_first(self.env, shims)

    def set_plain(self):
        self.write("doc/kilnlocal.mf", LOCAL_SOURCE)
        # TeX needs the local font's TFM; its PK is left to be made.
        made = self.run_tool(["mf", "\\mode=ljfour; nonstopmode; input kilnlocal"],
                             cwd=self.path("doc"))
        self.assertExit(0, made)
        for name in ("kilnlocal.600gf", "kilnlocal.log"):
            os.remove(self.path("doc", name))
        return texkit.set_document(self.path("doc"), "plain", PLAIN, self.env)

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as lines:
            return [line.rstrip("\n") for line in lines]

    def metafont_runs(self):
        return [line for line in self.calls() if line.startswith("mf ") and " input " in line]

    def pk_bodies(self, tree):
        """{path below fonts/pk: bytes but the comment}."""
        top = os.path.join(tree, "fonts", "pk")
        found = {}
        for relative in texkit.files_below(top):
            with open(os.path.join(top, relative), "rb") as pk:
                found[relative] = texkit.pk_without_comment(pk.read())
        return found

    def request(self, *words):
        return self.run_tool([KILN, "--mktexpk"] + list(words), env=self.kiln_env)


class SameFilesAsTexMaker(MakerCase):
    def compare(self, command, cwd):
        tex = self.run_tool(command, cwd=cwd, env=dict(self.env, TEXMFVAR=self.path("by-tex")))
        self.assertExit(0, tex)
        kiln = self.run_tool(command, cwd=cwd, env=dict(self.kiln_env, TEXMFVAR=self.path("var")))
        self.assertExit(0, kiln)
        self.assertNotIn("not found", kiln.err)
        wanted, made = self.pk_bodies(self.path("by-tex")), self.pk_bodies(self.path("var"))
        self.assertTrue(wanted)
        self.assertEqual(sorted(wanted), sorted(made))
        for path in wanted:
            self.assertEqual(wanted[path], made[path], path)
        return made

    def test_dvips_document(self):
        dvi = self.set_plain()
        made = self.compare(["dvips", "-o", os.devnull, dvi], self.path("doc"))
        self.assertIn("ljfour/jknappen/ec/ecrm1000.720pk", made)

    def test_dvipng_formula(self):
        texkit.set_document(self.path("doc"), "formula", FORMULA, self.env, "latex")
        made = self.compare(["dvipng", "-D", "110", "-o", self.path("f%d.png"), "formula.dvi"],
                            self.path("doc"))
        self.assertTrue(all(path.startswith("cx/") for path in made), made)


class WholeDocument(MakerCase):
    def test_first_request_builds_the_document_and_later_ones_build_nothing(self):
        dvi = self.set_plain()
        result = self.run_tool(["dvips", "-o", os.devnull, dvi], cwd=self.path("doc"),
                               env=self.kiln_env)
        self.assertExit(0, result)
        calls = self.calls()
        makers = [i for i, line in enumerate(calls) if line.startswith("maker ")]
        runs = [i for i, line in enumerate(calls) if line.startswith("mf ") and " input " in line]
        self.assertTrue(makers)
        self.assertEqual(len(texkit.pk_names(self.path("var"))), len(runs))
        # Every METAFONT run of the document belongs to the first request.
        self.assertTrue(all(makers[0] < run < (makers + [len(calls)])[1] for run in runs), calls)

        # With the tree's folders there when the driver starts, kpathsea
        # finds the fonts built at the first request: it asks once.
        folders = [os.path.dirname(os.path.join(self.path("var"), p))
                   for p in texkit.files_below(self.path("var")) if p.endswith("pk")]
        texkit.fresh(self.path("var"))
        for folder in folders:
            os.makedirs(folder, exist_ok=True)
        os.remove(self.log)
        again = self.run_tool(["dvips", "-o", os.devnull, dvi], cwd=self.path("doc"),
                              env=self.kiln_env)
        self.assertExit(0, again)
        self.assertEqual(1, len([c for c in self.calls() if c.startswith("maker ")]), self.calls())
        self.assertEqual(len(runs), len(self.metafont_runs()))

    def test_page_range_builds_only_the_font_asked_for(self):
        dvi = self.set_plain()
        self.run_tool(["dvips", "-pp", "1", "-o", os.devnull, dvi], cwd=self.path("doc"),
                      env=self.kiln_env)
        makers = [c for c in self.calls() if c.startswith("maker ")]
        self.assertEqual(len(makers), len(self.metafont_runs()))


class ManyAtOnce(MakerCase):
    REQUEST = ["--mfmode", "ljfour", "--bdpi", "600", "--mag", "1+120/600", "--dpi", "720"]

    def start(self, name):
        return subprocess.Popen([KILN, "--mktexpk"] + self.REQUEST + [name], cwd=self.root,
                                env=self.kiln_env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_eight_requests_for_one_font_run_metafont_once(self):
        children = [self.start("ecrm1000") for _ in range(8)]
        outputs = [child.communicate(timeout=120) for child in children]
        self.assertEqual([0] * 8, [child.returncode for child in children],
                         [err.decode() for _, err in outputs])
        wanted = os.path.join(self.path("var"), "fonts", "pk", "ljfour", "jknappen", "ec",
                              "ecrm1000.720pk") + "\n"
        self.assertEqual([wanted] * 8, [out.decode() for out, _ in outputs])
        self.assertEqual(1, len(self.metafont_runs()), self.calls())

    def test_ls_r_lists_each_new_file_once(self):
        texkit.write(os.path.join(self.path("var"), "ls-R"),
                     "% ls-R -- filename database for kpathsea; do not change this line.\n")
        names = ["ecrm1000", "ecbx1000", "ecti1000", "ecrm1000", "ecbx1000", "ecti1000"]
        children = [self.start(name) for name in names]
        for child in children:
            child.communicate(timeout=120)
            self.assertEqual(0, child.returncode)
        with open(os.path.join(self.path("var"), "ls-R"), encoding="ascii") as listing:
            entries = [line for line in listing.read().splitlines() if line.endswith("pk")]
        self.assertEqual(sorted(n + ".720pk" for n in set(names)), sorted(entries))
        self.assertEqual(3, len(self.metafont_runs()))


class Failures(MakerCase):
    def test_a_font_that_cannot_be_made_prints_nothing_and_says_why(self):
        self.write("doc/kilnbroken.mf", BROKEN_SOURCE)
        for name, reason in (("kilnbroken", "! I can't find file `kilnnosuchbase"),
                             ("kilnnosuch", "no METAFONT source")):
            with self.subTest(name):
                result = self.run_tool([KILN, "--mktexpk", "--mfmode", "ljfour", "--bdpi", "600",
                                        "--dpi", "600", name], cwd=self.path("doc"),
                                       env=self.kiln_env)
                self.assertExit(1, result)
                self.assertEqual("", result.out)
                self.assertIn(reason, result.err)
                if name == "kilnbroken":
                    # The log the message names is there.
                    self.assertTrue(os.path.isfile(result.err.split("log: ")[-1].strip()),
                                    result.err)
        self.assertFalse(texkit.pk_names(self.path("var")))

    def test_a_mode_that_does_not_fit_the_base_resolution_is_replaced(self):
        result = self.request("--mfmode", "ljfour", "--bdpi", "300", "--dpi", "300", "logo10")
        self.assertExit(0, result)
        self.assertTrue(result.out.endswith("/fonts/pk/cx/public/knuth-lib/logo10.300pk\n"))
        self.assertIn("mode ljfour prints at 600 dpi, not 300", result.err)
        unknown = self.request("--mfmode", "/", "--bdpi", "333", "--dpi", "333", "logo10")
        self.assertExit(1, unknown)
        self.assertEqual("", unknown.out)

    def test_a_killed_request_leaves_nothing_behind(self):
        self.write("doc/kilnslow.mf", SLOW_SOURCE)
        child = subprocess.Popen([KILN, "--mktexpk", "--mfmode", "ljfour", "--bdpi", "600",
                                  "--dpi", "600", "kilnslow"], cwd=self.path("doc"),
                                 env=self.kiln_env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        work = os.path.join(self.path("var"), "kiln")
        deadline = time.monotonic() + 60
        while not any(" input kilnslow" in c for c in self.calls()):
            self.assertLess(time.monotonic(), deadline, "METAFONT never started")
            time.sleep(0.05)
        child.send_signal(signal.SIGKILL)
        child.communicate(timeout=30)
        self.assertFalse(texkit.pk_names(self.path("var")))
        left = [n for n in os.listdir(work) if n.startswith(".kiln-request.")]
        self.assertTrue(left)
        # Once its owner is gone (and it is no longer new), the next request
        # clears it, and nothing of the killed one's is found anywhere.
        old = time.time() - 60
        for name in left:
            os.utime(os.path.join(work, name), (old, old))
        after = self.request("--mfmode", "ljfour", "--bdpi", "600", "--dpi", "600", "logo10")
        self.assertExit(0, after)
        self.assertEqual(["log"], sorted(os.listdir(work)))
        self.assertEqual({"logo10.600pk"}, texkit.pk_names(self.path("var")))


if __name__ == "__main__":
    sys.exit(texkit.main(sys.modules[__name__], verbosity=2,
                         needs=("tex", "latex", "dvips", "dvipng", "kpsewhich", "mf", "gftopk",
                                "mktexpk")))
