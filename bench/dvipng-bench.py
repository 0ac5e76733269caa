#!/usr/bin/env python3
"""Cold start of an image renderer: 20 LaTeX snippets, as plotting and
documentation tools write them (T1, textcomp, amsmath), rendered one after
the other by `dvipng -D 120`, as those tools do.

- cold: a fresh TEXMFVAR; dvipng makes every missing font on demand
  (kpathsea's mktexpk, one font at a time, while the renders wait);
- kiln first: a fresh TEXMFVAR; `kiln -j 0 --driver dvipng --dvi DIR 120`
  builds the fonts, then the same 20 renders;
- warm: the 20 renders once more with every font present (the floor).

The snippets are set by latex once, before any timing. Every variant gets
its own TEXMFVAR inside a temporary folder (mktexpk writes there too, as
Debian's mktex.cnf has it), so the user's trees are never touched. The
variants alternate over the repetitions so that drift of the machine hits
them alike; medians are compared, and the ratios come from this one run.

    bench/dvipng-bench.py [--kiln build/linux/kiln] [--reps 3] [--dpi 120]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
import texkit  # noqa: E402

PREAMBLE = r"""\documentclass[12pt]{article}
\usepackage[T1]{fontenc}
\usepackage{textcomp}
\usepackage{amsmath}
\pagestyle{empty}
\begin{document}
"""

BODIES = [
    r"$\displaystyle \int_0^1 x^2\,dx = \frac{1}{3}$",
    r"Temperature (\textdegree{}C)",
    r"$\sum_{k=1}^n k = \binom{n+1}{2}$",
    r"\textbf{Loss} vs.\ \textit{epoch}",
    r"{\large Title} {\small note}",
    r"\textsc{Figure} 3: $\alpha$, $\beta$",
    r"Price in \texteuro{} and \textdollar{}",
    r"$\sqrt{a^2+b^2}$ \textsf{sans}",
    r"\texttt{code} and $\mathbf{x}^\top A \mathbf{x}$",
    r"$\lim_{n\to\infty} \left(1+\frac{1}{n}\right)^n = e$",
    r"caf\'e na\"ive \c{c}a",
    r"{\Large $E = mc^2$}",
    r"\emph{emphasis} and \textbf{\textit{both}}",
    r"$\begin{pmatrix} 1 & 0 \\ 0 & 1 \end{pmatrix}$",
    r"{\footnotesize footnote size} 10\textperthousand",
    r"$f(x) = \begin{cases} 0 & x<0 \\ 1 & x \ge 0\end{cases}$",
    r"\textsl{slanted} \textsc{Small Caps}",
    r"$\nabla \cdot \mathbf{E} = \frac{\rho}{\varepsilon_0}$",
    r"{\tiny tiny} {\huge Huge}",
    r"$\prod_{i} p_i \leq \max_j q_j$ \textbullet{} item",
]


def run(command, env, cwd=None, check=True):
    return subprocess.run(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=check)


def set_snippets(folder, env):
    for number, body in enumerate(BODIES):
        texkit.set_document(folder, "snippet%02d" % number,
                            PREAMBLE + body + "\n\\end{document}\n", env, "latex")
    return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".dvi"))


def render_all(dvis, dpi, env, out):
    started = time.monotonic()
    for dvi in dvis:
        run(["dvipng", "-D", str(dpi), "-o", os.path.join(out, "x%d.png"), dvi], env,
            check=False)
    return time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kiln", default=os.path.join(SOURCE, "build", "linux", "kiln"))
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--dpi", type=int, default=120)
    args = parser.parse_args()
    missing = texkit.missing_programs(("latex", "dvipng", "mktexpk", "mf", "gftopk"))
    if missing:
        sys.exit("dvipng-bench: %s missing (scripts/install-deps.sh metafont)"
                 % ", ".join(missing))
    kiln = os.path.abspath(args.kiln)
    root = tempfile.mkdtemp(prefix="kiln-dvipng-bench-")
    try:
        base = texkit.private_env(root, locale=None)
        for name in ("snippets", "png"):
            os.mkdir(os.path.join(root, name))
        folder = os.path.join(root, "snippets")
        dvis = set_snippets(folder, dict(base, TEXMFVAR=os.path.join(root, "latexvar")))
        cold, kiln_build, kiln_render, warm, fonts = [], [], [], [], []
        for rep in range(args.reps):
            var = os.path.join(root, "cold%d" % rep)
            env = dict(base, TEXMFVAR=var)
            cold.append(render_all(dvis, args.dpi, env, os.path.join(root, "png")))
            warm.append(render_all(dvis, args.dpi, env, os.path.join(root, "png")))

            var = os.path.join(root, "kiln%d" % rep)
            env = dict(base, TEXMFVAR=var)
            started = time.monotonic()
            run([kiln, "-j", "0", "--driver", "dvipng", "--dvi", folder, str(args.dpi)], env)
            kiln_build.append(time.monotonic() - started)
            fonts.append(texkit.pk_count(var))
            kiln_render.append(render_all(dvis, args.dpi, env, os.path.join(root, "png")))
    finally:
        shutil.rmtree(root, True)

    def median(values):
        return statistics.median(values)

    with_kiln = [b + r for b, r in zip(kiln_build, kiln_render)]
    print("20 snippets, dvipng -D %d, %d CPUs, median of %d" %
          (args.dpi, os.cpu_count() or 1, args.reps))
    print("  cold (fonts made on demand)     %6.2f s" % median(cold))
    print("  kiln -j 0 first (%2d fonts)      %6.2f s" % (max(fonts), median(kiln_build)))
    print("    then the 20 renders           %6.2f s" % median(kiln_render))
    print("    together                      %6.2f s" % median(with_kiln))
    print("  warm (every font present)       %6.2f s" % median(warm))
    print("  cold / (kiln + renders)         %6.2fx" % (median(cold) / median(with_kiln)))
    print("  cold / warm                     %6.2fx" % (median(cold) / median(warm)))


if __name__ == "__main__":
    main()
