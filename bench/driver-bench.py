#!/usr/bin/env python3
"""Times `kiln -j 0 --dvi` followed by dvips against a cold dvips that makes
its fonts on demand, on three documents set here:

- article: LaTeX, 12pt, T1 fonts, AMS symbols, small caps, footnotes;
- plain: plain TeX with \\magnification and fonts at odd sizes;
- ae: LaTeX over the ae virtual fonts.

Each run starts from an empty TEXMFVAR (both ways), with dvips's default map
(outline fonts where it has them), and again with bitmaps for every font
(dvips -u psfonts_pk.map, kiln --map none). Prints a table of median times
and the ratio cold / (kiln + dvips).

    bench/driver-bench.py --kiln build/linux/kiln [--runs 3]
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "support"))
import texkit  # noqa: E402

DOCUMENTS = {
    "article": (["latex"], texkit.LATEX_ARTICLE),
    "plain": (["tex"], r"""\magnification=1095
\font\a=cmr10 scaled 1315 \font\b=cmbx12 at 13pt \font\c=logo10 scaled 1728
\font\d=cmsl10 at 11.5pt \font\e=cmti10 scaled 2074 \font\f=cmss10 at 9pt
\a Roman \b Bold \c META \d Slanted \e Italic \f Sans
\bye
"""),
    "ae": (["latex"], r"""\documentclass{article}
\usepackage{ae}
\begin{document}
\section{Almost European}
Text in \textbf{bold}, \textit{italic}, \textsc{small caps} and
\texttt{typewriter}; 10\,\% of it.\footnote{A footnote.}
\end{document}
"""),
}

DEFINITION = "600 ljfour\nMF mf \\mode=\nTARGET_DIR {work}\nBEGIN_SOURCE\nnone:\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kiln", required=True)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)
    work = tempfile.mkdtemp(prefix="kiln-driver-bench-")
    try:
        base = texkit.private_env(work, locale=None)
        with open(os.path.join(work, "FONTS.DAT"), "w") as out:
            out.write(DEFINITION.format(work=work))
        print("%-8s %-13s %5s %9s %13s %6s" % ("document", "map", "fonts", "dvips (s)",
                                               "kiln+dvips (s)", "ratio"))
        for name, (program, text) in DOCUMENTS.items():
            folder = os.path.join(work, name)
            texkit.set_document(folder, "doc", text,
                                dict(base, TEXMFVAR=os.path.join(work, "texvar")), program[0])
            for label, dvips_map, kiln_map in (("default", [], []),
                                               ("bitmaps only", ["-u", "psfonts_pk.map"],
                                                ["--map", "none"])):
                cold, both, fonts = [], [], set()
                for run in range(args.runs):
                    var = os.path.join(work, "cold%d" % run)
                    shutil.rmtree(var, True)
                    env = dict(base, TEXMFVAR=var)
                    dvips = ["dvips", "-q"] + dvips_map + ["doc.dvi", "-o", "doc.ps"]
                    cold.append(texkit.timed(dvips, folder, env)[0])
                    fonts.add(texkit.pk_count(var))
                    var = os.path.join(work, "kiln%d" % run)
                    shutil.rmtree(var, True)
                    env = dict(base, TEXMFVAR=var)
                    made, _ = texkit.timed([kiln, "--definition", os.path.join(work, "FONTS.DAT"),
                                            "-j", "0", "--texmf", "var"] + kiln_map +
                                           ["--dvi", "doc.dvi", "600"], folder, env)
                    shown, _ = texkit.timed(dvips, folder, env)
                    both.append(made + shown)
                    fonts.add(texkit.pk_count(var))
                    shutil.rmtree(var, True)
                cold_s, both_s = statistics.median(cold), statistics.median(both)
                print("%-8s %-13s %5s %9.2f %13.2f %5.1fx" % (
                    name, label, "/".join(str(f) for f in sorted(fonts)), cold_s, both_s,
                    cold_s / both_s))
        print("(median of %d runs each; fonts: PK files made, cold dvips and kiln alike)"
              % args.runs)
    finally:
        shutil.rmtree(work, True)


if __name__ == "__main__":
    main()
