#!/usr/bin/env python3
"""Times TeX's drivers making their fonts on demand with TeX's own maker
(the mktexpk script) against kiln's (lib/fontkiln/bin/mktexpk first on PATH),
cold, in one run with the two alternating:

- article: a cold dvips of a LaTeX article (12pt, T1 fonts, AMS symbols,
  small capitals, footnotes, sans serif and typewriter);
- formulas: 24 formulas, each set by latex from a documentation builder's
  math template (12pt, T1 text, amsmath) and rendered by dvipng -gamma 1.5 -D 110
  -bg Transparent, one at a time in one folder, math.dvi overwritten each
  time, as documentation builders do;
- per request: each font of a list built by one request of kiln's maker
  (through the mktexpk that drivers run) against the bare mf and gftopk
  runs of the same font, alternated font by font; the median difference is
  what kiln adds to a request.

"Cold" is an empty TEXMFVAR (where both makers put the fonts); METAFONT's
mode answers that kiln keeps are warm, as after the first use. Each variant
runs in the same folders with the same environment; medians over the
repetitions are compared, and the ratios come from this one run.

    bench/ondemand-bench.py [--kiln build/linux/kiln] [--reps 3]
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
import texkit  # noqa: E402


MATH_TEMPLATE = r"""\documentclass[12pt]{article}
\usepackage[utf8]{inputenc}
\usepackage[T1]{fontenc}
\usepackage{textcomp}
\usepackage{amsmath}
\usepackage{amssymb}
\usepackage{amsfonts}
\pagestyle{empty}
\begin{document}
$%s$
\end{document}
"""

# What documentation math holds: symbols, and words in its text (italic,
# bold, small capitals, sans serif and typewriter names, in sub- and
# superscripts too), with textcomp's signs.
FORMULAS = [
    r"\int_0^1 x^2\,dx = \frac{1}{3}",
    r"e^{i\pi} + 1 = 0 \quad \text{(Euler)}",
    r"\sum_{k=1}^n k = \binom{n+1}{2} \text{ for all } n \ge 1",
    r"\alpha\beta\gamma\delta\epsilon",
    r"\nabla \cdot \mathbf{E} = \frac{\rho}{\varepsilon_0}",
    r"\lim_{x\to 0} \frac{\sin x}{x} = 1 \text{ at } 25\,\text{\textdegree C}",
    r"\mathbb{R}^n \times \mathbb{C}",
    r"f(x) = \begin{cases} 0 & \text{if } x<0 \\ 1 & \text{otherwise}\end{cases}",
    r"\prod_{i} p_i \leq \max_j q_j",
    r"T_{\text{max}} = T_{\text{min}} + \Delta T",
    r"\mathcal{L}\{f\}(s) = \int_0^\infty f(t) e^{-st}\,dt",
    r"\textsf{Var}(X) = \textsf{E}[X^2] - \textsf{E}[X]^2",
    r"\texttt{len}(s) \le \texttt{cap}(s)",
    r"\forall \varepsilon > 0\ \exists \delta > 0 \text{ (\textbf{Cauchy})}",
    r"\textsc{Opt}(I) \le 2 \cdot \textsc{Greedy}(I)",
    r"\left\lfloor \frac{n}{2} \right\rfloor",
    r"P(A \mid B) = \frac{P(B \mid A) P(A)}{P(B)}",
    r"\text{\textit{price}} = 3\,\text{\texteuro} \pm 5\,\text{\textperthousand}",
    r"x_{n+1} = x_n - \frac{f(x_n)}{f'(x_n)}",
    r"\sum_{n=0}^\infty \frac{x^n}{n!}",
    r"\aleph_0 < 2^{\aleph_0}",
    r"\langle \psi | \phi \rangle_{\text{\textit{inner}}}",
    r"\text{if } a \equiv b \pmod{m} \text{ and \textit{only} if}",
    r"\mathbf{v}_{\textbf{rel}} = \mathbf{v}_1 - \mathbf{v}_2",
]

# CM fonts of several sizes and shapes, as requests come one at a time.
REQUEST_FONTS = ["cmr5", "cmr7", "cmr9", "cmr12", "cmr17", "cmbx5", "cmbx9", "cmbx12",
                 "cmti8", "cmti12", "cmsl9", "cmsl12", "cmtt9", "cmtt12", "cmss9", "cmss12"]


def article_run(folder, env):
    return texkit.timed(["dvips", "-q", "-o", "article.ps", "article.dvi"], folder, env)[0]


def formulas_run(folder, env):
    """Every formula through latex and dvipng, one after the other."""
    begin = time.perf_counter()
    for number, formula in enumerate(FORMULAS):
        texkit.write(os.path.join(folder, "math.tex"), MATH_TEMPLATE % formula)
        texkit.timed(["latex", "--interaction=nonstopmode", "math.tex"], folder, env)
        texkit.timed(["dvipng", "-gamma", "1.5", "-D", "110", "-bg", "Transparent",
                      "-o", "math%d.png" % number, "math.dvi"], folder, env)
    return time.perf_counter() - begin


def median(values):
    return statistics.median(values)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kiln", default=os.path.join(SOURCE, "build", "linux", "kiln"))
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()
    kiln = os.path.abspath(args.kiln)
    maker_dir = os.path.join(os.path.dirname(kiln), "lib", "fontkiln", "bin")
    if not os.access(os.path.join(maker_dir, "mktexpk"), os.X_OK):
        sys.exit("bench: no %s/mktexpk (build kiln, or give --kiln)" % maker_dir)
    missing = texkit.missing_programs(("latex", "dvips", "dvipng", "mktexpk", "mf", "gftopk"))
    if missing:
        sys.exit("bench: %s missing (scripts/install-deps.sh metafont)" % ", ".join(missing))

    root = tempfile.mkdtemp(prefix="kiln-ondemand-bench-")
    try:
        base = texkit.private_env(root, locale=None)
        var = os.path.join(root, "var")
        makers = {"TeX's maker": base, "kiln's maker": texkit.with_path_first(base, maker_dir)}
        article = os.path.join(root, "article")
        texkit.set_document(article, "article", texkit.LATEX_ARTICLE, dict(base, TEXMFVAR=var),
                            "latex")
        formulas = os.path.join(root, "formulas")
        os.makedirs(formulas)
        # One untimed request makes kiln's mode answer, as after its first use.
        texkit.fresh(var)
        texkit.timed([os.path.join(maker_dir, "mktexpk"), "--mfmode", "ljfour", "--bdpi", "600",
                      "--mag", "1+0/600", "--dpi", "600", "cmr10"], root, base)

        times = {(case, maker): [] for case in ("article", "formulas")
                 for maker in list(makers) + ["warm"]}
        fonts = {}
        for _ in range(args.reps):
            for case, run, folder in (("article", article_run, article),
                                      ("formulas", formulas_run, formulas)):
                for maker, env in makers.items():
                    texkit.fresh(var)
                    times[(case, maker)].append(run(folder, env))
                    fonts[(case, maker)] = texkit.pk_count(var)
                # Once more with every font there: the drivers' and latex's
                # own time, which no maker changes.
                times[(case, "warm")].append(run(folder, base))

        # Per request: kiln's maker for one font, then the bare programs for
        # the same font; the maker runs from a folder of its own, the bare
        # programs in a scratch folder, as kiln's would.
        added = []
        bare_dir = os.path.join(root, "bare")
        for _ in range(args.reps):
            texkit.fresh(var)
            for name in REQUEST_FONTS:
                seconds, _ = texkit.timed([os.path.join(maker_dir, "mktexpk"), "--mfmode",
                                           "ljfour", "--bdpi", "600", "--mag", "1+0/600",
                                           "--dpi", "600", name], root, base)
                texkit.fresh(bare_dir)
                begin = time.perf_counter()
                texkit.timed(["mf", "\\mode=ljfour; nonstopmode; mag=1; input " + name],
                             bare_dir, base)
                texkit.timed(["gftopk", name + ".600gf", name + ".600pk"], bare_dir, base)
                added.append(seconds - (time.perf_counter() - begin))
    finally:
        shutil.rmtree(root, True)

    print("cold TEXMFVAR, %d CPUs, median of %d runs" % (os.cpu_count() or 1, args.reps))
    for case, label in (("article", "dvips, LaTeX article"),
                        ("formulas", "24 formulas, latex + dvipng each")):
        tex, ours = median(times[(case, "TeX's maker")]), median(times[(case, "kiln's maker")])
        print("  %-34s TeX's maker %6.2f s (%d fonts)   kiln's %6.2f s (%d fonts)   %.2fx"
              % (label, tex, fonts[(case, "TeX's maker")], ours, fonts[(case, "kiln's maker")],
                 tex / ours))
        warm = median(times[(case, "warm")])
        print("  %-34s runs: %s | %s" % ("", " ".join("%.2f" % t for t in times[(case, "TeX's maker")]),
                                       " ".join("%.2f" % t for t in times[(case, "kiln's maker")])))
        print("  %-34s with every font there %.2f s; the makers' part: TeX's %.2f s, kiln's "
              "%.2f s, %.2fx" % ("", warm, tex - warm, ours - warm,
                                 (tex - warm) / max(ours - warm, 1e-3)))
    print("  per request, kiln's maker over bare mf + gftopk (%d fonts x %d): median %.1f ms, "
          "quartiles %.1f / %.1f ms" % (len(REQUEST_FONTS), args.reps, 1000 * median(added),
                                        1000 * statistics.quantiles(added, n=4)[0],
                                        1000 * statistics.quantiles(added, n=4)[2]))
    print("goals: article >= 3x, formulas >= 1.5x, per request <= 15 ms")


if __name__ == "__main__":
    main()
