#!/usr/bin/env python3
"""Writes a benchmark corpus of a given size. Deterministic for a given kind and size.

Kinds:
  prose       real prose with a natural vocabulary: the plain-text documents Debian packages ship
              (/usr/share/common-licenses, and README, NEWS and *.txt files under /usr/share/doc,
              compressed or not), their paragraphs joined and repeated in a shuffled order to the
              size; lines that are not prose (fewer than half letters, under 20 characters) dropped.
  dictionary  words drawn evenly from Debian's wamerican dictionary (/usr/share/dict/american-english)
              in sentences of 6 to 24 words and paragraphs of 2 to 9 sentences.
  mixed       the prose corpus with every fifth paragraph from the per-script texts of the text-layer
              check (tests/printcomp/texts: Greek, Russian, Chinese, Hebrew, Arabic, Hindi, Thai).
  synthetic   English-like text drawn from about 200 words with long words and tabs (the corpus
              earlier figures came from; nearly every word repeats).

Usage: makecorpus.py KIND MEGABYTES OUT"""
import glob
import gzip
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

COMMON = ("the of and to in is that for it as was with be by on not he this are or his from at which but have an "
          "they you were her she there been one all we their has would when if so no what out up into more "
          "some could them other than then its about only time these two may first any new like our over "
          "such after also did many before must through years where much your way well down should because "
          "each just those people how too little state good very make world still own see men work long get "
          "here between both life being under never day same another know while last might us great old year "
          "off come since against go came right used take three printer page document margin paragraph font "
          "layout component title header footer paper orientation quality copies spacing border").split()
LONG = ("internationalization characteristically incomprehensibilities counterrevolutionaries "
        "electroencephalographically pneumonoultramicroscopicsilicovolcanoconiosis "
        "https://example.org/a/very/long/path/to/a/document/that/never/ends/index.html "
        "antidisestablishmentarianism floccinaucinihilipilification").split()


def read_text(path):
    opener = gzip.open if path.endswith(".gz") else open
    try:
        with opener(path, "rt", encoding="utf-8", errors="replace") as f:
            return f.read(2 * 1024 * 1024)
    except OSError:
        return ""


def prose_paragraphs():
    files = sorted(glob.glob("/usr/share/common-licenses/*"))
    for pattern in ("README*", "NEWS*", "*.txt", "*.txt.gz"):
        files += sorted(glob.glob("/usr/share/doc/*/" + pattern))
    paragraphs = []
    for path in files:
        if not os.path.isfile(path):
            continue
        for block in read_text(path).split("\n\n"):
            line = " ".join(block.split())
            letters = sum(c.isalpha() for c in line)
            if len(line) >= 20 and letters * 2 >= len(line):
                paragraphs.append(line)
    return paragraphs


def synthetic_paragraph(rng):
    words = []
    for _ in range(rng.randint(30, 220)):
        r = rng.random()
        if r < 0.02:
            words.append(rng.choice(LONG))
        elif r < 0.03:
            words.append("\t" + rng.choice(COMMON))
        else:
            words.append(rng.choice(COMMON))
    words[0] = "    " + words[0].capitalize()
    return " ".join(words) + "."


def main():
    kind, size, out = sys.argv[1], int(float(sys.argv[2]) * 1024 * 1024), sys.argv[3]
    rng = random.Random(42)
    if kind in ("prose", "mixed"):
        source = prose_paragraphs()
        others = []
        if kind == "mixed":
            for name in ("greek", "cyrillic", "chinese", "hebrew", "arabic", "devanagari", "thai"):
                with open(os.path.join(HERE, "..", "tests", "printcomp", "texts", name + ".txt"), encoding="utf-8") as f:
                    others += [p for p in f.read().split("\n") if p.strip()]
        def next_paragraph(n):
            if others and n % 5 == 4:
                return rng.choice(others)
            return rng.choice(source)
    elif kind == "dictionary":
        with open("/usr/share/dict/american-english", encoding="utf-8") as f:
            words = [w.strip() for w in f if w.strip()]
        def next_paragraph(n):
            sentences = []
            for _ in range(rng.randint(2, 9)):
                sentence = [rng.choice(words) for _ in range(rng.randint(6, 24))]
                sentence[0] = sentence[0].capitalize()
                sentences.append(" ".join(sentence) + ".")
            return " ".join(sentences)
    else:
        def next_paragraph(n):
            return synthetic_paragraph(rng)
    written = 0
    n = 0
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        while written < size:
            p = next_paragraph(n) + "\n"
            n += 1
            f.write(p)
            written += len(p.encode("utf-8"))


if __name__ == "__main__":
    main()
