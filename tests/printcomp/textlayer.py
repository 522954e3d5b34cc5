#!/usr/bin/env python3
"""The text layer check: prints each text of texts/ with zendrik-print and counts the characters
that come back wrong or missing from each extractor at hand (pdftotext, mutool draw -F txt, and
pdf.js when PDFJS_DIR names a folder with pdfjs-dist installed), after NFC normalisation and with
white space removed. Prints one table; fails when a count is above the budget of its text.

Usage: textlayer.py ZENDRIK_PRINT [--report] [--tool "zendrik-print"]"""
import difflib
import os
import shutil
import subprocess
import sys
import tempfile
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
# text file: (body font, budget of wrong characters per extractor)
TEXTS = {
    "latin": ("DejaVu Serif", 0),
    "greek": ("DejaVu Sans", 0),
    "cyrillic": ("DejaVu Sans", 0),
    "chinese": ("Noto Sans CJK SC", 0),
    "hebrew": ("DejaVu Sans", 0),
    "arabic": ("DejaVu Sans", 0),
    # cairo's counts on the same kind of text: 0 in poppler, 13 of 144 in MuPDF and pdf.js
    "devanagari": ("Noto Sans Devanagari", 13),
    "thai": ("Noto Sans Thai", 13),
    "vietnamese": ("Nimbus Sans", 0),
    "emoji": ("DejaVu Sans", None),
}
PDFJS = """
const pdfjs = await import(process.env.PDFJS_DIR + '/node_modules/pdfjs-dist/legacy/build/pdf.mjs');
const doc = await pdfjs.getDocument({url: process.argv[2], verbosity: 0}).promise;
let out = '';
for (let i = 1; i <= doc.numPages; i++) {
  const page = await doc.getPage(i);
  const content = await page.getTextContent();
  out += content.items.map(item => item.str).join('') + '\\n';
}
process.stdout.write(out);
"""


# Direction marks some extractors add around right-to-left text: formatting, not text.
MARKS = set("\u200e\u200f\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069")


def normal(text):
    return "".join(c for c in unicodedata.normalize("NFC", text) if not c.isspace() and c not in MARKS)


def wrong(expected, got):
    """Characters of the text missing or wrong in what came back (extra characters count too)."""
    matcher = difflib.SequenceMatcher(None, expected, got, autojunk=False)
    same = sum(block.size for block in matcher.get_matching_blocks())
    return max(len(expected), len(got)) - same


def extractors(work):
    found = []
    if shutil.which("pdftotext"):
        found.append(("pdftotext", lambda pdf: subprocess.run(["pdftotext", pdf, "-"], capture_output=True,
                                                              text=True).stdout))
    if shutil.which("mutool"):
        found.append(("mutool", lambda pdf: subprocess.run(["mutool", "draw", "-q", "-F", "txt", pdf],
                                                           capture_output=True, text=True).stdout))
    pdfjs_dir = os.environ.get("PDFJS_DIR")
    if pdfjs_dir and shutil.which("node") and os.path.isdir(os.path.join(pdfjs_dir, "node_modules", "pdfjs-dist")):
        script = os.path.join(work, "extract.mjs")
        with open(script, "w") as f:
            f.write(PDFJS)
        found.append(("pdf.js", lambda pdf: subprocess.run(["node", script, pdf], capture_output=True, text=True,
                                                           env=dict(os.environ, PDFJS_DIR=pdfjs_dir)).stdout))
    return found


def main():
    tool = sys.argv[1]
    work = tempfile.mkdtemp(prefix="zendrik-textlayer.")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    tools = extractors(work)
    rows = []
    failed = False
    for name, (family, budget) in TEXTS.items():
        source = os.path.join(HERE, "texts", name + ".txt")
        pdf = os.path.join(work, name + ".pdf")
        run = subprocess.run([tool, "--set", "DocFile=" + source, "--set", "DocTextFont.Name=" + family,
                              "--set", "DocTextFont.Size=11", "--pdf", pdf], env=env, capture_output=True, text=True)
        if run.returncode != 0:
            sys.stderr.write("%s: printing failed: %s\n" % (name, run.stderr))
            failed = True
            continue
        with open(source, encoding="utf-8") as f:
            expected = normal(f.read())
        counts = []
        for tool_name, extract in tools:
            count = wrong(expected, normal(extract(pdf)))
            counts.append(count)
            if budget is not None and count > budget:
                failed = True
        rows.append((name, family, len(expected), counts))
    print("| text | font | characters | " + " | ".join(t for t, _ in tools) + " |")
    print("|---|---|---|" + "---|" * len(tools))
    for name, family, size, counts in rows:
        print("| %s | %s | %d | %s |" % (name, family, size, " | ".join(str(c) for c in counts)))
    shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
