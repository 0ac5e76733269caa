#!/usr/bin/env python3
"""End-to-end runs of kiln with the real METAFONT and gftopk.

Each case works in a temporary directory of its own: a generated definition
file, a target directory, and XDG_CONFIG_HOME pointing inside, so that no
run touches the user's own key file. kiln runs without a terminal (a session
of its own, so no /dev/tty; standard input /dev/null), so every question
takes Cancel wherever the suite is started from.

    kiln_e2e.py --kiln build/linux/kiln [unittest options]
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import texkit  # noqa: E402

KILN = None

PK_MAGIC = texkit.PK_MAGIC
OLD_TIME = 1_000_000_000  # 2001: a stamp no build of today can leave

FEW_FONTS = """\
cmr 10 10m0.5 10m1
logo10 *2
"""
# cmr10 at 600, magstep 0.5 and magstep 1; logo10 at magnification 2.
FEW_PK = ["cmr10.600pk", "cmr10.657pk", "cmr10.720pk", "logo10.1200pk"]

FAILING_FONTS = """\
cmr 10
kilnnosuch 10
cmr 12
later:
cmr 17
"""


class KilnCase(texkit.Case):
    """A scratch directory with a target directory and a private config."""

    ROOT_PREFIX = "kiln-e2e-"
    TIMEOUT = 60

    def setUp(self):
        super().setUp()
        self.target = os.path.join(self.root, "pk")
        self.config = os.path.join(self.root, "config")
        os.mkdir(self.target)
        os.mkdir(self.config)

    def write_definition(self, fonts, set_name="few", reaction="S",
                         mf="mf \\mode=", extra_header=""):
        path = os.path.join(self.root, "FONTS.DAT")
        with open(path, "w", encoding="ascii") as out:
            out.write("300 cx\n600 ljfour\n")
            out.write("MF %s\n" % mf)
            out.write("TARGET_DIR %s\n" % self.target)
            out.write("ERROR_REACTION %s\n" % reaction)
            out.write(extra_header)
            out.write("BEGIN_SOURCE\n%s:\n%s" % (set_name, fonts))
        return path

    def fake_program(self, name, script):
        """A stand-in for an outside program, found on PATH before the real
        one for every later run of this case."""
        return texkit.stand_in(os.path.join(self.root, "bin"), name, script)

    def kiln(self, *args, definition=None):
        env = dict(os.environ)
        # The checks include parts of the specified texts, which only a
        # Japanese locale shows as specified.
        env.update(XDG_CONFIG_HOME=self.config, NO_COLOR="1", TERM="dumb", LC_ALL="ja_JP.UTF-8")
        bin_dir = os.path.join(self.root, "bin")
        if os.path.isdir(bin_dir):
            env = texkit.with_path_first(env, bin_dir)
        command = [KILN]
        if definition:
            command += ["--definition", definition]
        return self.run_tool(command + list(args), env=env)

    def target_files(self):
        return sorted(name for name in os.listdir(self.target)
                      if os.path.isfile(os.path.join(self.target, name)))

    def path(self, *parts):
        return os.path.join(self.target, *parts)

    def age(self, names):
        for name in names:
            os.utime(self.path(name), (OLD_TIME, OLD_TIME))

    def is_old(self, name):
        return int(os.stat(self.path(name)).st_mtime) == OLD_TIME

    def assertPk(self, name):
        with open(self.path(name), "rb") as pk:
            self.assertEqual(PK_MAGIC, pk.read(2), name)

    def tearDown(self):
        # No run may touch the key file: --definition is for one run only.
        self.assertEqual([], os.listdir(self.config))


class Build(KilnCase):
    def test_fonts_with_magsteps_are_built_and_filed(self):
        definition = self.write_definition(FEW_FONTS)
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(0, result)
        self.assertEqual(FEW_PK, self.target_files())
        for name in FEW_PK:
            self.assertPk(name)
        for font in ("cmr10", "logo10"):
            self.assertTrue(os.path.isfile(self.path("tfm", font + ".tfm")), font)
            self.assertTrue(os.path.isfile(self.path("log", font + ".log")), font)
        self.assertEqual(["cmr10.tfm", "logo10.tfm"], sorted(os.listdir(self.path("tfm"))))
        self.assertEqual(["cmr10.log", "logo10.log"], sorted(os.listdir(self.path("log"))))
        with open(self.path("log", "cmr10.log"), encoding="latin-1") as log:
            self.assertIn("METAFONT", log.read())

    def test_second_run_builds_nothing(self):
        definition = self.write_definition(FEW_FONTS)
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        self.age(FEW_PK + ["tfm/cmr10.tfm", "log/cmr10.log"])
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(0, result)
        self.assertEqual(FEW_PK, self.target_files())
        for name in FEW_PK + ["tfm/cmr10.tfm", "log/cmr10.log"]:
            self.assertTrue(self.is_old(name), name + " was rebuilt")

    def test_missing_pk_alone_is_rebuilt(self):
        definition = self.write_definition(FEW_FONTS)
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        self.age(FEW_PK)
        os.remove(self.path("cmr10.657pk"))
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        self.assertEqual(FEW_PK, self.target_files())
        self.assertPk("cmr10.657pk")
        self.assertFalse(self.is_old("cmr10.657pk"))
        for name in set(FEW_PK) - {"cmr10.657pk"}:
            self.assertTrue(self.is_old(name), name + " was rebuilt")

    def test_overwrite_rebuilds_everything(self):
        definition = self.write_definition(FEW_FONTS)
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        self.age(FEW_PK)
        self.assertExit(0, self.kiln("--overwrite", "600", "few", definition=definition))
        self.assertEqual(FEW_PK, self.target_files())
        for name in FEW_PK:
            self.assertFalse(self.is_old(name), name + " was not rebuilt")
            self.assertPk(name)

    def test_force_line_rebuilds_like_overwrite(self):
        definition = self.write_definition(FEW_FONTS, extra_header="FORCE\n")
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        self.age(FEW_PK)
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        for name in FEW_PK:
            self.assertFalse(self.is_old(name), name + " was not rebuilt")

    def test_target_dir_option_and_other_mode(self):
        definition = self.write_definition("cmr 10m1\n")
        elsewhere = os.path.join(self.root, "elsewhere")
        os.mkdir(elsewhere)
        self.assertExit(0, self.kiln("--target-dir", elsewhere, "300", "few",
                                     definition=definition))
        self.assertEqual([], self.target_files())
        self.assertTrue(os.path.isfile(os.path.join(elsewhere, "cmr10.360pk")))
        self.assertTrue(os.path.isfile(os.path.join(elsewhere, "tfm", "cmr10.tfm")))


class Failures(KilnCase):
    def run_failing(self, option_reaction=None, file_reaction="S"):
        definition = self.write_definition(FAILING_FONTS, set_name="bad",
                                           reaction=file_reaction)
        args = ["--reaction", option_reaction] if option_reaction else []
        return self.kiln(*(args + ["600", "bad", "later"]), definition=definition)

    def assertBuilt(self, expected):
        built = [n for n in self.target_files() if n.endswith("pk")]
        self.assertEqual(sorted(expected), built)
        for name in expected:
            self.assertPk(name)

    def assertFailureShown(self, result):
        # M1: the METAFONT command line and the three GF names looked for.
        self.assertIn("input kilnnosuch10", result.err)
        for gf in ("kilnnosuch10.599gf", "kilnnosuch10.600gf", "kilnnosuch10.601gf"):
            self.assertIn(gf, result.err)

    def test_stop_ends_the_batch_at_the_failure(self):
        result = self.run_failing("S")
        self.assertExit(1, result)
        self.assertFailureShown(result)
        self.assertBuilt(["cmr10.600pk"])
        # The font built before the failure is filed as usual.
        self.assertTrue(os.path.isfile(self.path("tfm", "cmr10.tfm")))
        self.assertFalse(os.path.exists(self.path("cmr10.tfm")))

    def test_ignore_builds_the_rest_and_reports_failure(self):
        result = self.run_failing("I")
        self.assertExit(1, result)
        self.assertBuilt(["cmr10.600pk", "cmr12.600pk", "cmr17.600pk"])
        self.assertEqual(["cmr10.tfm", "cmr12.tfm", "cmr17.tfm"],
                         sorted(os.listdir(self.path("tfm"))))

    def test_confirm_without_terminal_takes_cancel(self):
        result = self.run_failing("C")
        self.assertExit(1, result)
        self.assertFailureShown(result)
        self.assertIn("キャンセル)", result.err)
        self.assertBuilt(["cmr10.600pk"])

    def test_reaction_from_the_definition_file(self):
        result = self.run_failing(file_reaction="I")
        self.assertExit(1, result)
        self.assertBuilt(["cmr10.600pk", "cmr12.600pk", "cmr17.600pk"])

    def test_option_overrides_the_definition_file(self):
        result = self.run_failing("S", file_reaction="I")
        self.assertExit(1, result)
        self.assertBuilt(["cmr10.600pk"])

    def test_metafont_not_on_path_is_a_start_failure(self):
        definition = self.write_definition(FEW_FONTS, mf="kiln-no-such-mf \\mode=")
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(1, result)
        # The launcher's message with the error number in both bases (ENOENT).
        self.assertIn("kiln-no-such-mf", result.err)
        self.assertIn("Error 2(2)", result.err)
        self.assertBuilt([])

    def test_unknown_mode_fails_instead_of_filing_proof_output(self):
        # METAFONT falls back to proof mode silently and writes its GF file at
        # another resolution, which must not count as the font.
        definition = self.write_definition("cmr 10\n")
        with open(definition) as text:
            content = text.read().replace("600 ljfour", "600 kilnnosuchmode")
        with open(definition, "w") as text:
            text.write(content)
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(1, result)
        self.assertBuilt([])


class OutsideFaults(KilnCase):
    def test_metafont_first_line_wrong_ends_instead_of_waiting(self):
        # Without the leading backslash METAFONT asks on its terminal; with
        # standard input from /dev/null it gives up at once.
        definition = self.write_definition("cmr 10\n", mf="mf mode=")
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(1, result)
        self.assertIn("cmr10.600gf", result.err)
        self.assertEqual([], [n for n in self.target_files() if n.endswith("pk")])

    def test_metafont_killed_by_a_signal_fails_the_font(self):
        self.fake_program("mf", "kill -KILL $$\n")
        definition = self.write_definition("cmr 10 12\n", reaction="I")
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(1, result)
        self.assertEqual([], self.target_files())

    def test_failing_gftopk_keeps_metafont_output(self):
        self.fake_program("gftopk", "exit 1\n")
        definition = self.write_definition("cmr 10\n")
        result = self.kiln("600", "few", definition=definition)
        self.assertExit(1, result)
        # M2: the gftopk command line and the PK name looked for.
        self.assertIn("gftopk cmr10.600gf cmr10.600pk", result.err)
        self.assertIn("cmr10.600pk", result.err)
        # The failed job's log is filed under its font and resolution, and
        # nothing else of it is left.
        self.assertEqual([], self.target_files())
        self.assertEqual(["cmr10.600.log"], os.listdir(self.path("log")))


class DryRun(KilnCase):
    def test_lists_jobs_and_creates_nothing(self):
        definition = self.write_definition(FEW_FONTS)
        result = self.kiln("--dry-run", "600", "few", definition=definition)
        self.assertExit(0, result)
        prefix = "mf \\mode=ljfour; nonstopmode; mag="
        self.assertEqual([
            "cmr10\t600\t" + prefix + "1; input cmr10",
            "cmr10\t657\t" + prefix + "magstep0.5; input cmr10",
            "cmr10\t720\t" + prefix + "magstep1; input cmr10",
            "logo10\t1200\t" + prefix + "2; input logo10",
        ], result.out.splitlines())
        self.assertEqual([], os.listdir(self.target))

    def test_leaves_out_built_fonts_unless_overwrite(self):
        definition = self.write_definition(FEW_FONTS)
        self.assertExit(0, self.kiln("600", "few", definition=definition))
        self.age(FEW_PK)
        listed = self.kiln("--dry-run", "600", "few", definition=definition)
        self.assertExit(0, listed)
        self.assertEqual("", listed.out)
        forced = self.kiln("--dry-run", "--overwrite", "600", "few", definition=definition)
        self.assertExit(0, forced)
        self.assertEqual(4, len(forced.out.splitlines()))
        for name in FEW_PK:
            self.assertTrue(self.is_old(name), name + " was touched")


class Usage(KilnCase):
    def test_unknown_option_is_a_usage_error(self):
        result = self.kiln("--no-such-option")
        self.assertExit(2, result)
        self.assertIn("--help", result.err)


if __name__ == "__main__":
    sys.exit(texkit.main(sys.modules[__name__], needs=("mf", "gftopk"), verbosity=2))
