#!/usr/bin/env python3
"""Prints documents with zendrik-print, paps + ps2pdf and enscript + ps2pdf and prints one table:
MB/s, pages/s, peak RSS and the time from the start of the print to its first page.

Usage: bench.py ZENDRIK_PRINT [WORKDIR] [--large]
The corpora (makecorpus.py says how each is made: real prose from Debian's documentation, words
drawn evenly from a dictionary, mixed scripts, and the 200-word synthetic English) are made in
WORKDIR (default: a temporary folder). Peers in the same run: enscript + ps2pdf, paps (PostScript
only), CUPS texttopdf and Qt's own QTextLayout + QPdfWriter (bench-qtpeer).
--large adds runs of zendrik-print alone: a 1 GB file (the 10 MB prose corpus a hundred times),
one line of 50 MB without a space, and 10 MB each of Chinese without spaces, Hebrew and Arabic,
and Latin letters under heavy combining marks; they take several minutes."""
import os
import pty
import random
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The first page as zendrik-print shows it on a terminal ("\r\033[Kpage 1"), and as the Qt peer writes it.
FIRST_PAGE = r"(?m)(^|\x1b\[K)page 1(\b|$)"
CORPORA = [("10 MB real prose", "prose", 10), ("10 MB dictionary words", "dictionary", 10),
           ("10 MB mixed scripts", "mixed", 10), ("10 MB 200-word synthetic English", "synthetic", 10),
           ("1 MB real prose", "prose", 1)]


def timed(cmd, first_page_pattern=None, env=None):
    """Runs cmd under /usr/bin/time -v; returns (seconds, peak RSS in MB, seconds to first page).
    Standard error is a terminal (zendrik-print shows its progress only there), read as it comes."""
    master, slave = pty.openpty()
    report = tempfile.NamedTemporaryFile(prefix="zendrik-bench-time.", delete=False)
    report.close()
    start = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-v", "-o", report.name] + cmd, stdout=subprocess.DEVNULL,
                            stderr=slave, env=env)
    os.close(slave)
    first = None
    seen = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # EIO once the last writer is gone
            break
        if not chunk:
            break
        if first is None and first_page_pattern:
            seen = (seen + chunk)[-4096:]
            if re.search(first_page_pattern, seen.decode("utf-8", "replace")):
                first = time.monotonic() - start
    proc.wait()
    elapsed = time.monotonic() - start
    os.close(master)
    with open(report.name, encoding="utf-8", errors="replace") as f:
        text = f.read()
    os.remove(report.name)
    if proc.returncode != 0:
        sys.stderr.write("failed: %s\n%s\n" % (" ".join(cmd), text[-2000:]))
        return None
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1)) / 1024.0
    return elapsed, rss, first


def seconds(value):
    return "%.2f" % value if value is not None else "-"


def pdf_pages(path):
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True).stdout
    m = re.search(r"^Pages:\s+(\d+)", out, re.M)
    return int(m.group(1)) if m else 0


def ps_pages(path):
    count = 0
    with open(path, "rb") as f:
        for line in f:
            if line.startswith(b"%%Page:"):
                count += 1
    return count


def large_files(work):
    """The 1 GB file, the 50 MB line and 10 MB of each input shape, made once in WORKDIR."""
    base = os.path.join(work, "corpus-prose-10.txt")
    huge = os.path.join(work, "corpus-1024.txt")
    if not os.path.exists(huge):
        with open(base, "rb") as f:
            chunk = f.read()
        with open(huge, "wb") as f:
            while f.tell() < 1024 * 1024 * 1024:
                f.write(chunk)
    line = os.path.join(work, "line-50.txt")
    if not os.path.exists(line):
        with open(line, "wb") as f:
            f.write(b"0123456789" * (5 * 1024 * 1024))
    prose50 = os.path.join(work, "corpus-prose-50.txt")
    if not os.path.exists(prose50):
        with open(huge, "rb") as f, open(prose50, "wb") as out:
            out.write(f.read(50 * 1024 * 1024))
    files = [("50 MB real prose", prose50), ("1 GB real prose", huge), ("one 50 MB line", line)]
    texts = os.path.join(HERE, "..", "tests", "printcomp", "texts")

    def shape(name, make):
        path = os.path.join(work, "shape-%s.txt" % name)
        if not os.path.exists(path):
            text = make()
            data = b""
            unit = text.encode("utf-8")
            while len(data) < 10 * 1024 * 1024:
                data += unit
            with open(path, "wb") as f:
                f.write(data)
        return path

    def read(name):
        with open(os.path.join(texts, name + ".txt"), encoding="utf-8") as f:
            return f.read()

    rng = random.Random(7)
    marks = [chr(c) for c in range(0x300, 0x330)]
    files += [
        ("10 MB Chinese without spaces", shape("cjk", lambda: "".join(read("chinese").split()))),
        ("10 MB Hebrew and Arabic", shape("rtl", lambda: read("hebrew") + "\n" + read("arabic") + "\n")),
        ("10 MB heavy combining marks", shape("marks", lambda: " ".join(
            "".join(rng.choice("abcdefghij") + "".join(rng.choice(marks) for _ in range(rng.randint(1, 4)))
                    for _ in range(rng.randint(2, 8))) for _ in range(20000)) + "\n")),
    ]
    return files


def main():
    args = [a for a in sys.argv[1:] if a != "--large"]
    large = "--large" in sys.argv[1:]
    zendrik = os.path.abspath(args[0])
    work = args[1] if len(args) > 1 else tempfile.mkdtemp(prefix="zendrik-bench.")
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    rows = []
    qtpeer = os.path.join(os.path.dirname(zendrik), "bench-qtpeer")
    for name, kind, mb in CORPORA:
        corpus = os.path.join(work, "corpus-%s-%d.txt" % (kind, mb))
        if not os.path.exists(corpus):
            subprocess.run([sys.executable, os.path.join(HERE, "makecorpus.py"), kind, str(mb), corpus], check=True)
        size = os.path.getsize(corpus) / (1024.0 * 1024.0)
        common = ["--set", "DocFile=" + corpus, "--set", "PaperSize=9", "--set", "DocTextFont.Name=DejaVu Sans",
                  "--set", "DocTextFont.Size=10", "--set", "DocHeader=Benchmark header", "--set",
                  "DocFooter=Benchmark footer"]
        for m in ("Margin" + s for s in ("Left", "Right", "Top", "Bottom")):
            common += ["--set", m + "=1440"]
        out = os.path.join(work, "zendrik.pdf")
        r = timed([zendrik] + common + ["--set", "PrintPageNumbers=true", "--pdf", out], FIRST_PAGE, env)
        if r:
            pages = pdf_pages(out)
            off = timed([zendrik] + common + ["--set", "PrintPageNumbers=false", "--pdf", out], FIRST_PAGE, env)
            rows.append((name, "zendrik-print", size, r[0], pages, r[1],
                         "%s / %s" % (seconds(r[2]), seconds(off[2]) if off else "-")))
        # Debian's paps (0.6.8) writes PostScript only; its PostScript draws every glyph as a path,
        # which ps2pdf takes many minutes to convert, so paps is timed to PostScript.
        out = os.path.join(work, "paps.ps")
        r = timed(["sh", "-c", 'paps --font="DejaVu Sans 10" --paper=a4 --header --top-margin=72 --bottom-margin=72 '
                   '--left-margin=72 --right-margin=72 "$1" > "$2"', "sh", corpus, out])
        if r:
            rows.append((name, "paps (PostScript only)", size, r[0], ps_pages(out), r[1], "-"))
            os.remove(out)
        out = os.path.join(work, "enscript.pdf")
        r = timed(["sh", "-c", 'enscript -q -fHelvetica10 -M A4 --margins=72:72:72:72 -p - "$1" | ps2pdf - "$2"',
                   "sh", corpus, out])
        if r:
            rows.append((name, "enscript + ps2pdf", size, r[0], pdf_pages(out), r[1], "-"))
        # CUPS's text filter: no shaping, one font; its arguments are a job's (id user title copies options file).
        out = os.path.join(work, "texttopdf.pdf")
        r = timed(["sh", "-c", '/usr/lib/cups/filter/texttopdf 1 bench bench 1 "PageSize=A4" "$1" > "$2"', "sh", corpus,
                   out], env=dict(env, CONTENT_TYPE="text/plain", PPD=""))
        if r:
            rows.append((name, "CUPS texttopdf", size, r[0], pdf_pages(out), r[1], "-"))
        if os.path.exists(qtpeer):
            out = os.path.join(work, "qtpeer.pdf")
            r = timed([qtpeer, corpus, out], FIRST_PAGE, env)
            if r:
                rows.append((name, "Qt QTextLayout + QPdfWriter", size, r[0], pdf_pages(out), r[1],
                             seconds(r[2])))

    if large:
        for name, path in large_files(work):
            size = os.path.getsize(path) / (1024.0 * 1024.0)
            out = os.path.join(work, "large.pdf")
            cmd = [zendrik, "--set", "DocFile=" + path, "--set", "PaperSize=9", "--set", "DocTextFont.Size=10",
                   "--pdf", out]
            r = timed(cmd + ["--set", "PrintPageNumbers=true"], FIRST_PAGE, env)
            if r:
                pages = pdf_pages(out)
                off = timed(cmd, FIRST_PAGE, env) if path.endswith("prose-50.txt") else None
                rows.append((name, "zendrik-print", size, r[0], pages, r[1],
                             "%s / %s" % (seconds(r[2]), seconds(off[2]) if off else "-")))
                os.remove(out)

    print("| Corpus | Tool | MB/s | pages/s | pages | peak RSS (MB) | first page (s), numbers on / off |")
    print("|---|---|---|---|---|---|---|")
    for name, tool, size, secs, pages, rss, first in rows:
        print("| %s | %s | %.2f | %.0f | %d | %.0f | %s |" % (name, tool, size / secs, pages / secs, pages, rss, first))
    print("\nload average at the end: %s (2 cores shared with other work)" % open("/proc/loadavg").read().split()[0])


if __name__ == "__main__":
    main()
