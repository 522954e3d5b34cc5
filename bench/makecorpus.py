#!/usr/bin/env python3
"""Writes a benchmark corpus: English-like prose with long words and tabs, optionally with a share
of paragraphs in other scripts. Deterministic for a given size and seed."""
import random
import sys

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
OTHER = [
    "Ελληνικά κείμενα για την εκτύπωση εγγράφων με σελίδες και περιθώρια",
    "Русский текст для печати документов со страницами и полями",
    "עברית נכתבת מימין לשמאל ומודפסת בעמודים עם שוליים",
    "العربية تكتب من اليمين إلى اليسار وتطبع في صفحات",
    "中文文本没有空格也可以换行并打印在页面上",
    "ภาษาไทยไม่มีช่องว่างระหว่างคำและพิมพ์บนหน้ากระดาษ",
    "हिन्दी पाठ देवनागरी लिपि में छपाई के लिए",
]


def paragraph(rng, other_share):
    if rng.random() < other_share:
        return " ".join(rng.choice(OTHER) for _ in range(rng.randint(2, 8)))
    words = []
    for i in range(rng.randint(30, 220)):
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
    size = int(float(sys.argv[1]) * 1024 * 1024)
    other_share = float(sys.argv[2]) if len(sys.argv) > 2 else 0.0
    out = sys.argv[3]
    rng = random.Random(42)
    written = 0
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        while written < size:
            p = paragraph(rng, other_share) + "\n"
            f.write(p)
            written += len(p.encode("utf-8"))


if __name__ == "__main__":
    main()
