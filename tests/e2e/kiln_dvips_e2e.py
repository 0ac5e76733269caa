#!/usr/bin/env python3
"""End-to-end runs that hold kiln --dvi against what dvips itself asks for.

- The resolutions: DVI files written here with thousands of sizes and
  magnifications; a stand-in mktexpk first on PATH records every request
  dvips makes; kiln's dry run must list the same resolution for each font.
- The fonts: LaTeX documents set here (T1 fonts, AMS symbols, virtual
  fonts, a source beside the document); the PK files kiln --dvi makes must
  be those that a cold dvips makes on demand, with the default map and with
  bitmaps only, and dvips -M must then find every font.
- A Japanese TeX DVI file (direction commands, JFM fonts) is read, its
  Japanese fonts listed as having no METAFONT source, and the rest built.

Every run's HOME, TEXMFVAR and configuration lie in the case's temporary
directory.

    kiln_dvips_e2e.py --kiln build/linux/kiln [unittest options]
"""

import os
import random
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import texkit  # noqa: E402

KILN = None

DEFINITION = ("600 ljfour\nMF mf \\mode=\nTARGET_DIR {target}\nERROR_REACTION S\n"
              "BEGIN_SOURCE\ncm:\ncmr 10\n")

# A source beside the document: found by on-demand making, and by kiln.
LOCAL_SOURCE = """mode_setup; font_size 10pt#;
beginchar("A", 5pt#, 5pt#, 0); fill unitsquare scaled w; endchar;
beginchar("B", 5pt#, 7pt#, 0); fill unitsquare xscaled w yscaled h; endchar;
end
"""

ARTICLE = r"""\documentclass[12pt]{article}
\usepackage[T1]{fontenc}
\usepackage{amssymb}
\font\local=kilnlocal at 11pt
\begin{document}
\section{Fonts}
Text in T1 with \textsc{Small Capitals}, \textbf{bold}, \emph{slanted}
and a footnote.\footnote{Set smaller.} Symbols: $\mathbb{R} \subsetneq
\mathfrak{A}$, $x^2 + \sum_i y_i$. A local font: {\local AB}.
\end{document}
"""

# aecompl takes the glyphs the virtual fonts lack (guillemets) from EC.
VIRTUAL = r"""\documentclass{article}
\usepackage{ae,aecompl}
\begin{document}
Almost European: \textbf{bold} and \textit{italic} text, 10\,\% of it,
\guillemotleft quoted\guillemotright.
\end{document}
"""


def dvi_bytes(fonts, mag, japanese=False):
    """A DVI file with one page that sets character 65 (or a two-byte code
    for a font marked Japanese) in every font of fonts, a list of
    (name, scaled size, design size, japanese)."""
    out = bytearray([247, 2]) + struct.pack(">III", 25400000, 473628672, mag)
    out += bytes([0])
    bop = len(out)
    out += bytes([139]) + bytes(44)
    definitions = bytearray()
    for number, (name, scaled, design, wide) in enumerate(fonts):
        definitions += bytes([244]) + struct.pack(">HIII", number, 0, scaled, design)
        definitions += bytes([0, len(name)]) + name.encode("ascii")
    for number, (name, scaled, design, wide) in enumerate(fonts):
        out += definitions_of(definitions, number)
        out += bytes([236]) + struct.pack(">H", number)  # fnt2
        if japanese:
            out += bytes([255, 1])  # vertical writing
        out += bytes([129]) + struct.pack(">H", 0x3042) if wide else bytes([65])
        if japanese:
            out += bytes([255, 0])
    out += bytes([140])
    post = len(out)
    out += bytes([248]) + struct.pack(">IIIIIIHH", bop, 25400000, 473628672, mag,
                                      0, 0, 1, len(fonts))
    out += definitions
    out += bytes([249]) + struct.pack(">I", post) + bytes([3 if japanese else 2])
    out += bytes([223] * 4)
    while len(out) % 4:
        out += bytes([223])
    return bytes(out)


def definitions_of(definitions, number):
    """The fnt_def of font number within the postamble's definitions."""
    at = 0
    while at < len(definitions):
        length = 1 + 2 + 12 + 2 + definitions[at + 15] + definitions[at + 16]
        if struct.unpack(">H", definitions[at + 1:at + 3])[0] == number:
            return definitions[at:at + length]
        at += length
    raise ValueError(number)


def xn_over_d(x, n, d):
    """TeX's scaled size of a font `scaled n` of design size x."""
    return x * n // d


class DriverCase(texkit.Case):
    ROOT_PREFIX = "kiln-dvips-"
    TIMEOUT = 600

    def setUp(self):
        super().setUp()
        for name in ("doc", "flat", "bin"):
            os.mkdir(self.path(name))
        self.env = texkit.private_env(self.root)
        self.write("FONTS.DAT", DEFINITION.format(target=self.path("flat")))

    def run_tool(self, command, cwd=None, env=None, timeout=None):
        return super().run_tool(command, cwd or self.path("doc"), env, timeout)

    def kiln(self, *args):
        return self.run_tool([KILN, "--definition", self.path("FONTS.DAT")] + list(args))

    def stand_in_env(self, answer=None):
        """The environment with a stand-in mktexpk first on PATH; its log."""
        log = self.path("requests.log")
        texkit.recording_maker(self.path("bin"), log, answer)
        return texkit.with_path_first(self.env, self.path("bin")), log

    def requests(self, log):
        """(name, dpi) of every request of the stand-in's log, in order."""
        return [(r["name"], int(r["dpi"])) for r in texkit.maker_requests(log)]

    def pk_files(self, tree):
        return texkit.pk_names(tree)


class ResolutionSweep(DriverCase):
    def test_every_resolution_is_the_one_dvips_asks_for(self):
        rng = random.Random(14)
        designs = [327680, 393216, 458752, 524288, 589824, 655360, 786432, 1132462]
        mags = sorted({833, 1000, 1095, 1200, 1440, 2074} |
                      {rng.randint(833, 2074) for _ in range(34)})
        expected_pairs = 0
        documents = []
        for mag in mags:
            fonts = []
            scales = {rng.randint(500, 2500) for _ in range(60)} | {1000, 1250}
            for scale in sorted(scales):
                design = rng.choice(designs)
                name = "kz%d" % (expected_pairs + len(fonts))
                if mag == 2074 and scale == 1250:
                    design = 524288  # logo8 scaled 1250 under \mag=2074: 1555.5
                    half = name
                fonts.append((name, xn_over_d(design, scale, 1000), design, False))
            expected_pairs += len(fonts)
            dvi = self.path("doc", "sweep%d.dvi" % mag)
            with open(dvi, "wb") as out:
                out.write(dvi_bytes(fonts, mag))
            documents.append(dvi)
            for name, _, _, _ in fonts:
                self.write("doc/%s.mf" % name, "% stands in for a source\n")
        self.assertGreater(expected_pairs, 2000)

        shipped = self.run_tool(["kpsewhich", "-format=pk", "-mode=ljfour", "-dpi=600", "cmr10"])
        env, log = self.stand_in_env(shipped.out.strip())
        for dvi in documents:
            self.run_tool(["dvips", "-o", os.devnull, dvi], env=env)
        asked = {}
        for name, dpi in self.requests(log):
            asked.setdefault(name, dpi)  # later ones are dvips's fallbacks
        self.assertEqual(expected_pairs, len(asked))
        self.assertEqual(1556, asked[half])

        args = ["--dry-run", "--map", "none"]
        for dvi in documents:
            args += ["--dvi", dvi]
        listed = self.kiln(*(args + ["600"]))
        self.assertExit(0, listed)
        built = {}
        for line in listed.out.splitlines():
            name, dpi, _ = line.split("\t")
            built.setdefault(name, set()).add(int(dpi))
        wrong = {name: (asked[name], sorted(built.get(name, ())))
                 for name in asked if built.get(name) != {asked[name]}}
        self.assertEqual({}, wrong)
        sys.stderr.write("\n[%d sizes at %d magnifications] " % (expected_pairs, len(mags)))


class JapaneseDvi(DriverCase):
    def test_direction_commands_read_and_japanese_fonts_listed(self):
        # Names of no installed font: real ones (min10, jis) come with VF
        # files on a machine with the Japanese TeX fonts, which kpathsea
        # would follow.
        fonts = [("kilnjmin10", 655360, 655360, True), ("kilnjgoth", 720896, 655360, True),
                 ("logo10", 655360, 655360, False)]
        dvi = self.path("doc", "ja.dvi")
        with open(dvi, "wb") as out:
            out.write(dvi_bytes(fonts, 1000, japanese=True))
        listed = self.kiln("--dry-run", "--map", "none", "--dvi", dvi, "600")
        self.assertExit(0, listed)
        self.assertEqual(["logo10\t600"], [l.rsplit("\t", 1)[0] for l in listed.out.splitlines()])
        self.assertIn("no METAFONT source found for 2 fonts; not built: kilnjmin10 kilnjgoth",
                      listed.err)
        built = self.kiln("--map", "none", "--dvi", dvi, "600")
        self.assertExit(0, built)
        # A document's fonts go to TEXMFVAR.
        self.assertIn("logo10.600pk", self.pk_files(self.path("var")))


class DriverFonts(DriverCase):
    def setUp(self):
        super().setUp()
        if texkit.missing_programs(["latex"]):
            self.skipTest("latex is not installed")

    def set_latex(self, name, text):
        return texkit.set_document(self.path("doc"), name, text, self.env, "latex")

    def cold_dvips(self, dvi, var, *options):
        """The PK files a cold dvips makes on demand into var (or beside the
        document, where on-demand making may leave a local font's)."""
        env = dict(self.env, TEXMFVAR=var)
        result = self.run_tool(["dvips"] + list(options) + ["-o", os.devnull, dvi], env=env)
        self.assertExit(0, result)
        beside = {n for n in os.listdir(self.path("doc")) if n.endswith("pk")}
        for name in beside:
            os.remove(self.path("doc", name))
        return self.pk_files(var) | beside

    def test_kiln_makes_the_fonts_dvips_would_make(self):
        self.write("doc/kilnlocal.mf", LOCAL_SOURCE)
        # LaTeX needs its TFM; the PK is left to be made.
        self.assertExit(0, self.run_tool(["mf", "\\mode=ljfour; nonstopmode; input kilnlocal"]))
        for made in ("kilnlocal.600gf", "kilnlocal.log"):
            os.remove(self.path("doc", made))
        documents = [self.set_latex("article", ARTICLE), self.set_latex("virtual", VIRTUAL)]
        for dvi in documents:
            for label, kiln_map, dvips_map in (("default map", [], []),
                                               ("bitmaps only", ["--map", "none"],
                                                ["-u", "psfonts_pk.map"])):
                with self.subTest(document=os.path.basename(dvi), map=label):
                    tag = os.path.basename(dvi) + ("-pk" if kiln_map else "")
                    wanted = self.cold_dvips(dvi, self.path("dvips-" + tag), *dvips_map)
                    if kiln_map:
                        self.assertTrue(wanted)
                    tree = self.path("kiln-" + tag)
                    listed = self.kiln(*(["--dry-run", "--texmf", tree] + kiln_map +
                                         ["--dvi", dvi, "600"]))
                    self.assertExit(0, listed)
                    result = self.kiln(*(["-j", "2", "--texmf", tree] + kiln_map +
                                         ["--dvi", dvi, "600"]))
                    self.assertExit(0, result)
                    made = self.pk_files(tree)
                    self.assertEqual(sorted(wanted), sorted(made))
                    self.assertEqual(len(made), len(listed.out.splitlines()))
                    if not kiln_map:
                        self.assertRegex(listed.err, r"\d+ fonts? (is|are) drawn from outline")
                        self.assertRegex(result.err, r"\d+ fonts? of the documents (is|are) drawn")

                    # The driver finds every font there and makes none.
                    env = dict(self.env, TEXMFVAR=tree)
                    check = self.run_tool(["dvips", "-M"] + dvips_map + ["-o", os.devnull, dvi],
                                          env=env)
                    self.assertExit(0, check)
                    self.assertNotIn("not found", check.err)
        self.assertIn("kilnlocal.", " ".join(self.pk_files(self.path("kiln-article.dvi"))))


if __name__ == "__main__":
    sys.exit(texkit.main(sys.modules[__name__], missing_is_failure=False, verbosity=2,
                         needs=("dvips", "kpsewhich", "mf", "gftopk")))
