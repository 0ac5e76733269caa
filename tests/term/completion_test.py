#!/usr/bin/env python3
"""The bash completion as bash runs it: `complete -p kiln` names its function,
and the function offers options, option values, file names, and after the
options the resolutions and font-set names that kiln --list-words reads
from the definition file on the line (or the recorded one).

Usage: completion_test.py KILN SOURCE_DIR [unittest arguments]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

KILN = SOURCE = None
DEFINITION = """600 ljfour
300 cx
600 ljfour       # a second line for one resolution
MF mf \\mode=
TARGET_DIR {dir}
BEGIN_SOURCE
cm:
cmr 10
logo:
logo10
ams:
msam 10
"""


class BashCompletion(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kiln-completion-")
        self.definition = os.path.join(self.dir, "FONTS.DAT")
        with open(self.definition, "w") as f:
            f.write(DEFINITION.format(dir=self.dir))
        for name in ("paper.dvi", "slides.dvi", "notes.txt"):
            open(os.path.join(self.dir, name), "w").close()
        os.mkdir(os.path.join(self.dir, "sub"))
        self.home = tempfile.mkdtemp(prefix="kiln-completion-home-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        shutil.rmtree(self.home, ignore_errors=True)

    def env(self):
        return {"PATH": "/usr/bin:/bin", "HOME": self.home, "LANG": "C.UTF-8",
                "XDG_CONFIG_HOME": os.path.join(self.home, ".config")}

    def complete(self, *words):
        """The candidates for the last of words, as bash would offer them."""
        script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); '
                  'complete -p kiln; _kiln; printf "%s\\n" "${COMPREPLY[@]}"')
        result = subprocess.run(
            ["bash", "--norc", "--noprofile", "-c", script, "bash",
             os.path.join(SOURCE, "completion", "kiln.bash"), KILN] + list(words),
            env=self.env(), cwd=self.dir, capture_output=True, text=True, timeout=30, check=True)
        lines = result.stdout.splitlines()
        self.assertEqual("complete -F _kiln kiln", lines[0])
        return sorted(l for l in lines[1:] if l)

    def test_options_and_their_values(self):
        self.assertEqual(["--debug", "--definition", "--detailed", "--driver", "--dry-run",
                          "--dvi"], self.complete("--d"))
        self.assertEqual(["C", "I", "S"], self.complete("--reaction", ""))
        self.assertEqual(["high"], self.complete("--priority", "h"))
        self.assertEqual(["home"], self.complete("--texmf", "ho"))
        self.assertEqual(["dvipng", "dvips"], self.complete("--driver", "dvip"))
        self.assertIn("none", self.complete("--map", ""))

    def test_file_names(self):
        self.assertEqual(["paper.dvi", "slides.dvi", "sub"], self.complete("--dvi", ""))
        self.assertEqual(["FONTS.DAT"], self.complete("--definition", "F"))
        self.assertIn("notes.txt", self.complete("--missfont", ""))

    def test_resolutions_then_font_sets_of_the_definition_file_on_the_line(self):
        line = ["--definition", self.definition, "--reaction", "I"]
        self.assertEqual(["300", "600"], self.complete(*line, ""))
        self.assertEqual(["ams", "cm", "logo"], self.complete(*line, "600", ""))
        self.assertEqual(["cm"], self.complete(*line, "600", "logo", "c"))
        self.assertEqual(["cx", "ljfour"], self.complete(*line, "--mode", ""))

    def test_recorded_definition_file_and_none_at_all(self):
        self.assertEqual([], self.complete(""))  # nothing recorded: no words, no noise
        subprocess.run([KILN, "--install", self.definition], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL)
        self.assertEqual(["300", "600"], self.complete(""))
        self.assertEqual([], self.complete("--definition", self.dir, "600", ""))


if __name__ == "__main__":
    KILN, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2 + 1:])
