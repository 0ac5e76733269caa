#!/usr/bin/env python3
"""Checks that the message catalogues cover every text the program can show.

The texts marked TR("...") or TR_NOOP("...") in the portable core and the
terminal program are extracted with xgettext. A text written in Japanese
needs its English in po/en.po; a text written in English needs its Japanese
in po/ja.po (or, for the Windows program's few ASCII texts such as its
title, its English in po/en.po); any other language's catalogue needs both.
A text that is mostly English needs its Japanese in po/ja.po even when it
holds Japanese words too (the priority names), and a text with Japanese in it
needs its English. A string literal that is not marked at all fails too
when it is Japanese, or English prose (two words or more): it would reach a
reader of the other language untranslated. Log lines (ConsolePrintf) are the
debug output and stay as written; NOTR("...") marks English that is never
shown (a program's input). Every translation must use the same printf
conversions in the same order as its source text, since the lookup happens
after the compiler's format checks; no catalogue may keep texts that the
program no longer has; and every catalogue passes `msgfmt --check`.

Usage: catalogue_check.py SOURCE_DIR XGETTEXT MSGFMT
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

ENGLISH = re.compile(r"[A-Za-z]{2,} [a-z]{2,}")
CONVERSION = re.compile(
    r"%(?:\d+\$)?[-+ #0']*(?:\*|\d+)?(?:\.(?:\*|\d+))?(hh|h|ll|l|L|q|j|z|Z|t)?([diouxXeEfFgGaAcsp%])")


def unquote(lines):
    text = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', lines))
    # The escapes are resolved byte by byte, then the bytes read as UTF-8.
    return bytes(text, "utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")


def read_po(path):
    """msgid -> (msgstr, fuzzy) of a .po or .pot file; obsolete entries skipped."""
    entries = {}
    with open(path, encoding="utf-8") as f:
        blocks = f.read().split("\n\n")
    for block in blocks:
        lines = [l for l in block.strip().splitlines() if not l.startswith("#~")]
        if not lines:
            continue
        fuzzy = any(l.startswith("#,") and "fuzzy" in l for l in lines)
        body = "\n".join(l for l in lines if not l.startswith("#"))
        match = re.match(r'msgid ((?:".*"\n?)+)msgstr ((?:".*"\n?)+)', body + "\n")
        if not match:
            continue
        msgid = unquote(match.group(1))
        if msgid:
            entries[msgid] = (unquote(match.group(2)), fuzzy)
    return entries


def english(text):
    """Whether a reader of Japanese would see English: an ASCII text, or a
    mixed one with more English than Japanese (counted in columns)."""
    letters = sum(c.isascii() and c.isalpha() for c in text)
    wide = sum(not c.isascii() for c in text)
    return text.isascii() or letters > 2 * wide


def conversions(text):
    """The printf conversions of text in order, with their length modifiers."""
    return [(m.group(1) or "") + m.group(2) for m in CONVERSION.finditer(text)
            if m.group(2) != "%"]


def sources(root):
    found = []
    for folder in ("deffile", "run", "tex", "ui", "install"):
        for path in glob.glob(os.path.join(root, folder, "**", "*.[ch]*"), recursive=True):
            relative = os.path.relpath(path, root)
            if relative.startswith(os.path.join("ui", "win32")) or relative.endswith("_win32.cpp"):
                continue  # the Windows program keeps its texts as written
            found.append(relative)
    return sorted(found)


def main():
    root, xgettext, msgfmt = sys.argv[1:4]
    problems = []
    with open(os.path.join(root, "po", "LINGUAS")) as f:
        languages = [l.strip() for l in f if l.strip() and not l.startswith("#")]
    catalogues = {}
    for language in languages:
        po = os.path.join(root, "po", language + ".po")
        check = subprocess.run([msgfmt, "--check", "-o", os.devnull, po],
                               capture_output=True, text=True)
        if check.returncode != 0:
            problems.append("msgfmt --check %s:\n%s" % (po, check.stderr))
        catalogues[language] = read_po(po)

    with tempfile.TemporaryDirectory() as scratch:
        pot = os.path.join(scratch, "kiln.pot")
        subprocess.run([xgettext, "--from-code=UTF-8", "--language=C++", "-k", "-kTR",
                        "-kTR_NOOP", "-o", pot] + sources(root), cwd=root, check=True)
        texts = read_po(pot)
        # The texts that need no translation: log lines and NOTR.
        exempt = os.path.join(scratch, "exempt.pot")
        subprocess.run([xgettext, "--from-code=UTF-8", "--language=C++", "-k",
                        "-kConsolePrintf:2", "-kNOTR", "-o", exempt] + sources(root),
                       cwd=root, check=True, stderr=subprocess.DEVNULL)
        exempt = read_po(exempt) if os.path.exists(exempt) else {}
        # Every string literal: one that is not marked would reach a reader
        # of the other language as it is.
        every = os.path.join(scratch, "every.pot")
        subprocess.run([xgettext, "--from-code=UTF-8", "--language=C++", "-a",
                        "-o", every] + sources(root), cwd=root, check=True,
                       stderr=subprocess.DEVNULL)
        unmarked = [text for text in read_po(every)
                    if text not in texts and text not in exempt and
                    (not text.isascii() or ENGLISH.search(text))]

    def translated(language, msgid):
        entry = catalogues.get(language, {}).get(msgid)
        return entry is not None and entry[0] != "" and not entry[1]

    for msgid in texts:
        for language in catalogues:
            if language not in ("en", "ja") and not translated(language, msgid):
                problems.append("no translation in po/%s.po for %r" % (language, msgid))
        if english(msgid) and not translated("ja", msgid):
            problems.append("no Japanese in po/ja.po for %r" % msgid)
        if not msgid.isascii() and not translated("en", msgid):
            problems.append("no English in po/en.po for %r" % msgid)
    for text in unmarked:
        problems.append("a text is not marked for translation: %r" % text)
    for language, entries in catalogues.items():
        for msgid, (msgstr, fuzzy) in entries.items():
            if msgid not in texts:
                problems.append("po/%s.po translates %r, which the program no longer has"
                                % (language, msgid))
            elif msgstr and conversions(msgid) != conversions(msgstr):
                problems.append("po/%s.po: the conversions of %r (%s) differ from its "
                                "translation's (%s)" % (language, msgid, conversions(msgid),
                                                        conversions(msgstr)))
    for problem in problems:
        print(problem)
    print("%d texts, %s; %d problems" % (
        len(texts), ", ".join("%s.po %d entries" % (l, len(e)) for l, e in catalogues.items()),
        len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
