#!/usr/bin/env python3
"""End-to-end runs of kiln --dvi, --missfont and --texmf with the real TeX:
tex sets a document, kiln builds its fonts into a TeX tree, dvips and
kpsewhich must find every one of them there.

HOME, TEXMFVAR and the configuration folder of every run lie inside the
case's temporary directory, so nothing outside it is written.

    kiln_tree_e2e.py --kiln build/linux/kiln [unittest options]
"""

import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import texkit  # noqa: E402

KILN = None

# Fonts from four source folders at several sizes, a virtual font, and a
# document magnification that is no magstep of its own.
DOCUMENT = r"""\magnification=1095
\font\ec=ecrm1000 scaled 1200
\font\bx=cmbx10 scaled \magstep2
\font\logo=logo10
\font\ams=msbm10 scaled 1440
\font\virt=kilnvirt scaled 2000
\ec Hello \bx world \logo META \ams A \virt AB
\bye
"""

# A virtual font over cmss10 at its own size and logo10 at 1.2 times it.
VIRTUAL_FONT = """(VTITLE kiln test)
(DESIGNSIZE R 10.0)
(MAPFONT D 0 (FONTNAME cmss10) (FONTDSIZE R 10.0))
(MAPFONT D 1 (FONTNAME logo10) (FONTAT R 1.2) (FONTDSIZE R 10.0))
(CHARACTER C A (CHARWD R 0.5) (MAP (SELECTFONT D 1) (SETCHAR C M)))
(CHARACTER C B (CHARWD R 0.5) (MAP (SELECTFONT D 0) (SETCHAR C B)))
"""

# A font whose source lies outside every TeX tree.
OUTSIDE_SOURCE = """mode_setup; font_size 10pt#;
beginchar("A", 5pt#, 5pt#, 0); fill unitsquare scaled w; endchar;
end
"""

LS_R_HEADER = "% ls-R -- filename database for kpathsea; do not change this line.\n"


class TreeCase(texkit.Case):
    ROOT_PREFIX = "kiln-tree-"
    TIMEOUT = 120

    def setUp(self):
        super().setUp()
        for name in ("doc", "flat", "vf"):
            os.mkdir(self.path(name))
        self.env = texkit.private_env(self.root)

    def definition(self, reaction="S"):
        return self.write("FONTS.DAT",
                          "600 ljfour\n777 nosuchmode\nMF mf \\mode=\n"
                          "TARGET_DIR %s\nERROR_REACTION %s\nBEGIN_SOURCE\n"
                          "cm:\ncmr 10\n" % (self.path("flat"), reaction))

    def kiln(self, *args):
        return self.run_tool([KILN, "--definition", self.definition()] + list(args))

    def files_below(self, top):
        return texkit.files_below(top)

    def set_document(self):
        """doc/doc.dvi, with the virtual font's VF and TFM in vf/."""
        vpl = self.write("vf/kilnvirt.vpl", VIRTUAL_FONT)
        self.assertExit(0, self.run_tool(["vptovf", vpl, "kilnvirt.vf", "kilnvirt.tfm"],
                                         cwd=self.path("vf")))
        self.env.update(VFFONTS=self.path("vf") + ":", TFMFONTS=self.path("vf") + ":")
        return texkit.set_document(self.path("doc"), "doc", DOCUMENT, self.env)


class Documents(TreeCase):
    def test_document_fonts_land_where_dvips_finds_them(self):
        started = time.monotonic()
        dvi = self.set_document()
        # Two at a time: each job works in a scratch folder of the tree's
        # work folder, and its files are filed from there.
        result = self.kiln("-j", "2", "--texmf", "var", "--map", "none", "--dvi", dvi, "600")
        self.assertExit(0, result)
        tree = self.path("var")
        self.assertFalse([n for n in os.listdir(os.path.join(tree, "kiln"))
                          if n.startswith(".kiln-job")])
        pk = [f for f in self.files_below(tree) if f.endswith("pk")]
        # The VF is followed to its base fonts and not built itself; every
        # PK file sits below the folder of its source.
        for expected in ("fonts/pk/ljfour/jknappen/ec/ecrm1000.789pk",
                         "fonts/pk/ljfour/public/cm/cmbx10.946pk",
                         "fonts/pk/ljfour/public/cm/cmss10.1314pk",
                         "fonts/pk/ljfour/public/knuth-lib/logo10.1577pk"):
            self.assertIn(expected, pk)
        self.assertFalse([f for f in pk if "kilnvirt" in f], pk)
        # The summary speaks of the log folder alone: the TFM files joined the fonts.
        self.assertIn("now holds the directory log", result.err)
        self.assertEqual(sorted(set(os.path.basename(f).split(".")[0] + ".log" for f in pk)),
                         sorted(os.listdir(os.path.join(tree, "kiln", "log"))))
        self.assertFalse([f for f in self.files_below(os.path.join(tree, "fonts"))
                          if not f.endswith("pk")])

        dvips = self.run_tool(["dvips", "-M", "-u", "/dev/null", "-D", "600",
                               "-mode", "ljfour", "doc.dvi", "-o", "doc.ps"],
                              cwd=self.path("doc"))
        took = time.monotonic() - started
        self.assertExit(0, dvips)
        self.assertNotIn("not found", dvips.err)
        used = re.findall(r"<([^<>]*pk)>", dvips.err)
        self.assertEqual(len(pk), len([u for u in used if u.startswith(tree)]), dvips.err)
        sys.stderr.write("\n[tex + kiln + dvips: %.2f s] " % took)

        # A second run finds every font in place and builds nothing.
        stamps = {f: os.stat(os.path.join(tree, f)).st_mtime_ns for f in pk}
        again = self.kiln("--texmf", "var", "--map", "none", "--dvi", dvi, "600")
        self.assertExit(0, again)
        self.assertNotIn("input ", again.out)
        self.assertEqual(stamps, {f: os.stat(os.path.join(tree, f)).st_mtime_ns for f in pk})

    def test_missfont_requests_into_a_tree_with_ls_r(self):
        tree = self.path("tree")
        os.mkdir(tree)
        self.write("tree/ls-R", LS_R_HEADER)
        os.mkdir(self.path("src"))
        self.write("src/kilnsq.mf", OUTSIDE_SOURCE)
        self.env["MFINPUTS"] = self.path("src") + ":"
        log = self.write("missfont.log", "\n".join([
            "mktexpk --mfmode ljfour --bdpi 600 --mag 1+120/600 --dpi 720 cmr10",
            "mktexpk --mfmode / --bdpi 600 --mag 1+0/600 --dpi 600 kilnsq",
            "mktexpk --mfmode cx --bdpi 300 --mag 1+60/300 --dpi 360 cmr12",
            "mktextfm ecrm1000",
            "this is no command at all",
            "mktexpk --mfmode ljfour --bdpi 600 --mag 1+120/600 --dpi 720 cmr10",
        ]) + "\n")
        result = self.kiln("--texmf", tree, "--map", "none", "--missfont", log, "600")
        self.assertExit(0, result)
        new = [f for f in self.files_below(tree) if f.startswith("fonts/")]
        self.assertEqual(["fonts/pk/ljfour/kiln/kilnsq.600pk",
                          "fonts/pk/ljfour/public/cm/cmr10.720pk",
                          "fonts/tfm/kiln/kilnsq.tfm"], new)
        for line in ("cmr12", "mktextfm ecrm1000", "no command at all"):
            self.assertIn(line, result.err)
        self.assertEqual(1, result.out.count("input cmr10"))

        # kpathsea, searching the tree through its ls-R alone, finds them.
        env = dict(self.env, TEXMFDBS=tree, TEXMFHOME="!!" + tree)
        env.pop("MFINPUTS")
        for name, args in (("cmr10.720pk", ["-format=pk", "-mode=ljfour", "-dpi=720", "cmr10"]),
                           ("kilnsq.600pk", ["-format=pk", "-mode=ljfour", "-dpi=600", "kilnsq"]),
                           ("kilnsq.tfm", ["kilnsq.tfm"])):
            found = self.run_tool(["kpsewhich"] + args, env=env)
            self.assertTrue(found.out.strip().startswith(tree), name + ": " + found.out)
        with open(os.path.join(tree, "ls-R"), encoding="ascii") as lsr:
            self.assertTrue(lsr.read().startswith(LS_R_HEADER))

    def test_damaged_dvi_is_refused_and_nothing_built(self):
        dvi = self.set_document()
        with open(dvi, "rb") as document:
            good = document.read()
        cases = {"garbage.dvi": b"\x00not a dvi file at all" * 10,
                 "truncated.dvi": good[:len(good) - 40],
                 "empty.dvi": b""}
        for name, data in cases.items():
            with self.subTest(name):
                with open(self.path("doc", name), "wb") as out:
                    out.write(data)
                # A good document first: nothing of it may be built either.
                result = self.kiln("--texmf", self.path("tree"), "--dvi", dvi,
                                   "--dvi", self.path("doc", name), "600")
                self.assertExit(1, result)
                self.assertIn(name, result.err)
                self.assertNotIn("input ", result.out)
                self.assertFalse(os.path.exists(self.path("tree", "fonts")))


class ModeCheck(TreeCase):
    def test_unknown_mode_stops_under_s_asks_under_c_and_is_logged_under_i(self):
        stopped = self.kiln("777", "cm")
        self.assertExit(1, stopped)
        self.assertIn('"777 nosuchmode"', stopped.err)
        self.assertIn("2602", stopped.err)
        self.assertEqual([], os.listdir(self.path("flat")))

        # Without a terminal the question of C takes Cancel.
        asked = self.kiln("--reaction", "C", "777", "cm")
        self.assertExit(1, asked)
        self.assertIn("Build the fonts all the same?", asked.err)
        self.assertEqual([], os.listdir(self.path("flat")))

        ignored = self.kiln("--reaction", "I", "--debug", "777", "cm")
        self.assertIn("2602 dpi, not 777", ignored.err)
        self.assertIn("input cmr10", ignored.out)

    def test_known_mode_passes_quietly(self):
        result = self.kiln("--dry-run", "600", "cm")
        self.assertExit(0, result)
        built = self.kiln("600", "cm")
        self.assertExit(0, built)
        self.assertNotIn("2602", built.err)
        self.assertEqual(["cmr10.600pk", "log", "tfm"], sorted(os.listdir(self.path("flat"))))


if __name__ == "__main__":
    sys.exit(texkit.main(sys.modules[__name__], missing_is_failure=False, verbosity=2,
                         needs=("tex", "dvips", "kpsewhich", "vptovf", "mf", "gftopk")))
