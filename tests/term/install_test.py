#!/usr/bin/env python3
"""The terminal program as installed: `cmake --install` into a prefix that is
then moved (kiln finds its catalogues from its own directory), the man page
(groff finds nothing to warn about, and it names every option of --help),
and the Debian package that `cpack -G DEB` makes (what it holds and depends
on, and that the kiln in it runs in English and in Japanese).

Usage: install_test.py BUILD_DIR SOURCE_DIR [unittest arguments]
"""
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unicodedata
import unittest

BUILD = SOURCE = None
JAPANESE = re.compile("[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]")
COMMON = [
    "bin/kiln",
    "lib/fontkiln/bin/mktexpk",
    "share/bash-completion/completions/kiln",
    "share/doc/fontkiln/FONTS.DAT",
    "share/doc/fontkiln/README.md",
    "share/doc/fontkiln/changelog.gz",
    "share/doc/fontkiln/copyright",
    "share/locale/ja/LC_MESSAGES/kiln.mo",
    "share/man/man1/kiln.1.gz",
]
INSTALLED = sorted(COMMON + ["share/doc/fontkiln/LICENSE", "share/zsh/site-functions/_kiln"])
PACKAGED = sorted("usr/" + f for f in COMMON + ["share/zsh/vendor-completions/_kiln"])


def columns(line):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line)


def run_kiln(kiln, args, language):
    env = {"PATH": "/usr/bin:/bin", "HOME": "/nonexistent", "LANG": language}
    return subprocess.run([kiln] + args, env=env, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=30, start_new_session=True)


def files_under(root):
    return sorted(os.path.relpath(os.path.join(d, n), root)
                  for d, _, names in os.walk(root) for n in names)


class Installed(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kiln-install-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def check_languages(self, kiln):
        english = run_kiln(kiln, ["--definition", "/no/such/FONTS.DAT"], "C.UTF-8")
        self.assertEqual(1, english.returncode)
        self.assertIn("kiln: the definition file /no/such/FONTS.DAT does not exist",
                      english.stderr)
        german = run_kiln(kiln, ["--definition", "/no/such/FONTS.DAT"], "de_DE.UTF-8")
        self.assertEqual(english.stderr, german.stderr)  # no catalogue: English
        japanese = run_kiln(kiln, ["--definition", "/no/such/FONTS.DAT"], "ja_JP.UTF-8")
        self.assertIn("定義ファイル /no/such/FONTS.DAT は存在しません", japanese.stderr)
        help_text = run_kiln(kiln, ["--help"], "POSIX").stdout
        self.assertIn("--priority P", help_text)
        self.assertIsNone(JAPANESE.search(help_text))
        usage = run_kiln(kiln, ["--reaction", "X"], "ja_JP.UTF-8")
        self.assertEqual(2, usage.returncode)
        self.assertIn("--reaction には S, C または I を指定して下さい", usage.stderr)
        self.assertIn("詳しくは 'kiln --help' を実行して下さい。", usage.stderr)
        for language in ("ja_JP.UTF-8", "japanese", "ja-JP"):
            japanese_help = run_kiln(kiln, ["--help"], language).stdout
            self.assertTrue(japanese_help.startswith("使い方: kiln [OPTIONS]"), language)
        for text in (help_text, japanese_help):
            wide = [line for line in text.splitlines() if columns(line) > 80]
            self.assertEqual([], wide)

    def test_install_holds_the_program_catalogues_man_page_and_example_and_can_move(self):
        prefix = os.path.join(self.dir, "prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        self.assertEqual(INSTALLED, files_under(prefix))
        with gzip.open(os.path.join(prefix, "share/man/man1/kiln.1.gz"), "rt") as page:
            self.assertIn(".SH OPTIONS", page.read())
        moved = os.path.join(self.dir, "elsewhere")
        os.rename(prefix, moved)
        self.check_languages(os.path.join(moved, "bin", "kiln"))
        self.check_maker(moved)

    def check_maker(self, prefix):
        """The font maker for TeX's programs finds the kiln of its own tree
        (no kiln on PATH here)."""
        maker = run_kiln(os.path.join(prefix, "lib", "fontkiln", "bin", "mktexpk"), ["--help"],
                         "C.UTF-8")
        self.assertEqual(0, maker.returncode, maker.stderr)
        self.assertTrue(maker.stdout.startswith("Usage: kiln --mktexpk"), maker.stdout)

    def test_package_holds_the_terminal_program_and_depends_on_tex(self):
        subprocess.run(["cpack", "-G", "DEB", "--config",
                        os.path.join(BUILD, "CPackConfig.cmake"), "-B", self.dir],
                       check=True, cwd=BUILD, stdout=subprocess.DEVNULL)
        packages = glob.glob(os.path.join(self.dir, "*.deb"))
        self.assertEqual(1, len(packages), packages)
        field = lambda name: subprocess.run(
            ["dpkg-deb", "-f", packages[0], name], check=True, capture_output=True,
            text=True).stdout.strip()
        self.assertEqual("fontkiln", field("Package"))
        depends = [d.strip().split(" ")[0] for d in field("Depends").split(",")]
        self.assertIn("texlive-binaries", depends)
        self.assertIn("texlive-base", depends)
        root = os.path.join(self.dir, "root")
        subprocess.run(["dpkg-deb", "-x", packages[0], root], check=True)
        self.assertEqual(PACKAGED, files_under(root))
        self.check_languages(os.path.join(root, "usr", "bin", "kiln"))
        self.check_maker(os.path.join(root, "usr"))
        # What Debian checks: no error and no warning (informational tags
        # are the maintainer's call).
        if not shutil.which("lintian"):
            self.fail("lintian is missing: scripts/install-deps.sh build installs it")
        lintian = subprocess.run(["lintian", "--no-tag-display-limit", packages[0]],
                                 capture_output=True, text=True)
        tags = [l for l in lintian.stdout.splitlines() if l[:2] in ("E:", "W:")]
        self.assertEqual([], tags)
        self.assertIn(lintian.returncode, (0, 1))  # 1 only with the tags above

    def test_kiln_copied_alone_speaks_english_under_every_other_locale(self):
        kiln = os.path.join(self.dir, "kiln")
        shutil.copy(os.path.join(BUILD, "kiln"), kiln)
        for language in ("C.UTF-8", "C", "POSIX", "de_DE.UTF-8", ""):
            for args in (["--help"], ["--reaction", "X"],
                         ["--definition", "/no/such/FONTS.DAT"]):
                result = run_kiln(kiln, args, language)
                self.assertIsNone(JAPANESE.search(result.stdout + result.stderr),
                                  (language, args, result.stdout + result.stderr))


class ManPage(unittest.TestCase):
    def setUp(self):
        self.page = os.path.join(SOURCE, "docs", "kiln.1")

    def test_groff_has_no_warnings(self):
        result = subprocess.run(["groff", "-man", "-ww", "-z", self.page],
                                capture_output=True, text=True)
        self.assertEqual(("", "", 0), (result.stdout, result.stderr, result.returncode))

    def test_every_option_of_help_is_described(self):
        help_text = run_kiln(os.path.join(BUILD, "kiln"), ["--help"], "C.UTF-8").stdout
        options = set(re.findall(r"^\s+(?:-\w, )?(--[a-z-]+)", help_text, re.M))
        options |= set(re.findall(r"^\s+(-\w),", help_text, re.M))
        self.assertGreaterEqual(len(options), 14, options)
        with open(self.page, encoding="utf-8") as f:
            page = f.read()
        section = page[page.index(".SH OPTIONS"):page.index(".SH", page.index(".SH OPTIONS") + 1)]
        described = section.replace("\\-", "-")
        missing = [o for o in sorted(options)
                   if not re.search(r"^\.B[IR]? .*(?<![\w-])" + re.escape(o) + r"(?![\w-])",
                                    described, re.M)]
        self.assertEqual([], missing)


if __name__ == "__main__":
    BUILD, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
