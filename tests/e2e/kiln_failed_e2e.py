#!/usr/bin/env python3
"""End-to-end runs of kiln with fonts that cannot be built, with the real
tex, METAFONT and gftopk: a font family whose TFM files are there and whose
METAFONT sources read a base file that is not (as on a machine where the
family is only half installed), beside a document whose fonts can be built.

The good fonts are built, the summary names each failed font with
METAFONT's error line and a log that exists, and no stray log, GF, TFM or
scratch file is left anywhere.

    kiln_failed_e2e.py --kiln build/linux/kiln [unittest options]
"""

import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import texkit  # noqa: E402

KILN = None

# The family as its TFM files were made, and as its sources are now.
WHOLE_SOURCE = """mode_setup; font_size 10pt#;
beginchar("A", 5pt#, 5pt#, 0); fill unitsquare scaled w; endchar;
end
"""
BROKEN_SOURCE = "input c-kbad;\nend\n"
ERROR_LINE = "! I can't find file `c-kbad'."

# kbadr10 at 600 and 720 dpi, kbadbx10 at 600.
BROKEN = r"""\font\a=kbadr10 \font\b=kbadr10 scaled 1200 \font\c=kbadbx10
\a A \b A \c A \bye
"""
# Fonts that TeX Live ships no PK file of: logo10 at 600, cmss10 at 720.
GOOD = r"""\font\l=logo10 \font\s=cmss10 scaled 1200
\l META \s A \bye
"""
GOOD_PK = {("ljfour", "logo10", 600), ("ljfour", "cmss10", 720)}


class FailedFonts(texkit.Case):
    ROOT_PREFIX = "kiln-failed-"

    def setUp(self):
        super().setUp()
        self.env = texkit.private_env(self.root)
        self.doc = self.path("doc")
        for font in ("kbadr10", "kbadbx10"):
            texkit.write(os.path.join(self.doc, font + ".mf"), WHOLE_SOURCE)
            self.assertExit(0, texkit.run(["mf", "\\mode=ljfour; nonstopmode; input " + font],
                                          self.doc, self.env))
            for made in (font + ".600gf", font + ".log"):
                os.remove(os.path.join(self.doc, made))
        self.broken = texkit.set_document(self.doc, "broken", BROKEN, self.env)
        self.good = texkit.set_document(self.doc, "good", GOOD, self.env)
        for font in ("kbadr10", "kbadbx10"):
            texkit.write(os.path.join(self.doc, font + ".mf"), BROKEN_SOURCE)
        self.doc_files = texkit.files_below(self.doc)

    def kiln(self, *args):
        return self.run_tool([KILN] + list(args), cwd=self.doc)

    def assertNoStrayFile(self, work, tree=None):
        """work (the target directory or a tree's work folder) holds its log
        folder and nothing else but the fonts; the document's folder holds
        what tex left."""
        for name in texkit.files_below(work):
            self.assertTrue(name.startswith(("log/", "tfm/")) or name.endswith("pk")
                            or name == "ls-R", "stray file %s in %s" % (name, work))
        if tree:
            for name in texkit.files_below(tree):
                self.assertTrue(name.startswith(("fonts/", "kiln/log/")),
                                "stray file %s in %s" % (name, tree))
        self.assertEqual(self.doc_files, texkit.files_below(self.doc))

    def failures(self, result):
        """{(font, dpi): (reason, log path)} of the summary."""
        found = {}
        for match in re.finditer(r"^    (\S+) at (\d+) dpi: (.*)\n(?:        log: (.*)\n)?",
                                 result.err, re.M):
            found[(match.group(1), int(match.group(2)))] = (match.group(3), match.group(4))
        return found

    def test_good_fonts_built_failed_ones_named_with_their_logs(self):
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                texkit.fresh(self.path("var"))
                result = self.kiln("-j", jobs, "--map", "none", "--dvi", self.broken,
                                   "--dvi", self.good)
                self.assertExit(1, result)
                self.assertEqual(GOOD_PK, texkit.pk_fonts(self.path("var")))
                failed = self.failures(result)
                self.assertEqual({("kbadr10", 600), ("kbadr10", 720), ("kbadbx10", 600)},
                                 set(failed))
                for (font, dpi), (reason, log) in failed.items():
                    self.assertEqual(ERROR_LINE, reason)
                    self.assertEqual(self.path("var", "kiln", "log", "%s.%d.log" % (font, dpi)),
                                     log)
                    with open(log, encoding="latin-1") as text:
                        self.assertIn(ERROR_LINE, text.read())
                self.assertIn("Fonts built: 2, failed: 3.\n", result.err)
                self.assertNoStrayFile(self.path("var", "kiln"), self.path("var"))

    def test_stop_only_when_asked(self):
        definition = self.write("FONTS.DAT", "600 ljfour\nMF mf \\mode=\nTARGET_DIR %s\n"
                                "{reaction}BEGIN_SOURCE\nbad:\nkbadr 10\ncmss 12\n"
                                % self.path("flat"))
        os.mkdir(self.path("flat"))
        with open(definition) as text:
            template = text.read()
        cases = [  # (ERROR_REACTION line, options, stopped)
            ("", ["--reaction", "S"], True),
            ("ERROR_REACTION S\n", [], True),
            ("", [], False),
        ]
        for line, options, stopped in cases:
            with self.subTest(line=line, options=options):
                texkit.write(definition, template.format(reaction=line))
                texkit.fresh(self.path("var"))
                result = self.kiln(*(["--definition", definition, "--map", "none"] + options +
                                     ["--dvi", self.broken, "--dvi", self.good]))
                self.assertExit(1, result)
                built = texkit.pk_fonts(self.path("var"))
                self.assertEqual(set() if stopped else GOOD_PK, built)
                self.assertEqual(stopped, "Fonts not tried, as the run stopped: 4.\n" in result.err)
                self.assertNoStrayFile(self.path("var", "kiln"), self.path("var"))
        # A font set keeps the file's reaction: none given is S. (Its
        # sources are looked for where METAFONT looks, not beside documents.)
        texkit.write(definition, template.format(reaction=""))
        result = self.run_tool([KILN, "--definition", definition, "600", "bad"], cwd=self.doc,
                               env=dict(self.env, MFINPUTS=self.doc + ":"))
        self.assertExit(1, result)
        self.assertEqual(["log/kbadr10.600.log"], texkit.files_below(self.path("flat")))
        self.assertIn("    kbadr10 at 600 dpi: %s\n" % ERROR_LINE, result.err)

    def test_flat_target_directory_files_mfput_log_too(self):
        target = self.path("flat")
        os.mkdir(target)
        definition = self.write("FONTS.DAT", "600 ljfour\nMF mf \\mode=\nTARGET_DIR %s\n"
                                "ERROR_REACTION I\nBEGIN_SOURCE\nbad:\nkilnnosuch 10\n"
                                "kbadr 10\nlogo10 *1.2\n" % target)
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                texkit.fresh(target)
                result = self.kiln("--definition", definition, "-j", jobs, "600", "bad")
                self.assertExit(1, result)
                self.assertEqual(["log/kbadr10.600.log", "log/kilnnosuch10.600.log",
                                  "log/logo10.log", "logo10.720pk", "tfm/logo10.tfm"],
                                 texkit.files_below(target))
                self.assertIn("    kilnnosuch10 at 600 dpi: ! I can't find file `kilnnosuch10'.\n"
                              "        log: %s/log/kilnnosuch10.600.log\n" % target, result.err)
                self.assertNoStrayFile(target)

    def test_truncated_dvi_in_a_folder_is_passed_over(self):
        folder = self.path("cache")
        os.mkdir(folder)
        with open(self.good, "rb") as dvi:
            whole = dvi.read()
        with open(os.path.join(folder, "a.dvi"), "wb") as out:
            out.write(whole)
        with open(os.path.join(folder, "b.dvi"), "wb") as out:
            out.write(whole[:len(whole) // 2])
        result = self.kiln("--map", "none", "--dvi", folder)
        self.assertExit(1, result)
        self.assertIn("kiln: %s: " % os.path.join(folder, "b.dvi"), result.err)
        self.assertIn("passed over, the other documents' fonts are built", result.err)
        self.assertEqual(GOOD_PK, texkit.pk_fonts(self.path("var")))
        # Named by itself it still ends the run before anything is built.
        texkit.fresh(self.path("var"))
        alone = self.kiln("--map", "none", "--dvi", os.path.join(folder, "b.dvi"),
                          "--dvi", self.good)
        self.assertExit(1, alone)
        self.assertEqual(set(), texkit.pk_fonts(self.path("var")))

    def test_nothing_to_build_says_so_on_both_streams(self):
        self.assertExit(0, self.kiln("--map", "none", "--dvi", self.good))
        again = self.kiln("--map", "none", "--dvi", self.good)
        self.assertExit(0, again)
        self.assertEqual("There was nothing to build\n", again.out)
        self.assertIn("There was nothing to build\n", again.err)
        self.assertNotIn("Fonts built", again.out + again.err)
        listed = self.kiln("--dry-run", "--dvi", self.good)
        self.assertExit(0, listed)
        self.assertEqual("", listed.out)
        self.assertRegex(listed.err, r"kiln: nothing to build \(fonts there already: \d+, "
                                     r"drawn from outline fonts: [1-9]\d*\)\n")


if __name__ == "__main__":
    sys.exit(texkit.main(sys.modules[__name__], needs=("tex", "mf", "gftopk", "kpsewhich")))
