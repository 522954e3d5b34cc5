#include "layout/linebreaks.h"

#include <QTextBoundaryFinder>

#include <array>

namespace zendrik {

namespace {

// The line breaking classes of printable ASCII and tab (Unicode's UAX #14 names).
enum Lb : quint8 { OP, CL, CP, QU, EX, SY, IS, PR, PO, NU, AL, HY, BA, SP, XX = 0xFF };

// Between the last character that is not a space and the next one: never, always, or only when
// spaces stand between them. (Qt's rule "no break after a hyphen following Hebrew" and its
// "wide opening punctuation" case reduce to these for ASCII.)
enum Pair : quint8 { N, D, I };

// Rows: the character before; columns: the one after.
constexpr std::array<std::array<Pair, SP>, SP> kPairs{{
    //   OP CL CP QU EX SY IS PR PO NU AL HY BA
    {{N, N, N, N, N, N, N, N, N, N, N, N, N}}, // OP
    {{D, N, N, I, N, N, N, D, D, D, D, I, I}}, // CL
    {{D, N, N, I, N, N, N, D, D, I, I, I, I}}, // CP
    {{N, N, N, I, N, N, N, I, I, I, I, I, I}}, // QU
    {{D, N, N, I, N, N, N, D, D, D, D, I, I}}, // EX
    {{D, N, N, I, N, N, N, D, D, D, D, I, I}}, // SY
    {{D, N, N, I, N, N, N, D, D, D, I, I, I}}, // IS
    {{D, N, N, I, N, N, N, D, D, I, I, I, I}}, // PR
    {{D, N, N, I, N, N, N, D, D, I, I, I, I}}, // PO
    {{I, N, N, I, N, N, N, I, I, I, I, I, I}}, // NU
    {{I, N, N, I, N, N, N, I, I, I, I, I, I}}, // AL
    {{D, N, N, I, N, N, N, D, D, I, D, I, I}}, // HY
    {{D, N, N, I, N, N, N, D, D, D, D, I, I}}, // BA
}};

// Numbers ("$(1,234.50)%") are not broken inside: Qt follows each candidate sequence with a small
// machine over these classes, and clears the breaks inside a sequence once it ends.
enum Numeric : quint8 { NX, NPrefix, NOpen, NDigit, NSeparator, NClose };
enum Step : quint8 { Reset, Start, Continue, End };

// Rows: the class of the sequence's last character; columns: the next one (spaces are skipped).
constexpr std::array<std::array<Step, 6>, 6> kNumericSteps{{
    // NX, Prefix, Open, Digit, Separator, Close
    {{Reset, Start, Start, Start, Reset, Reset}},       // NX
    {{Reset, Start, Continue, Continue, Reset, Reset}}, // NPrefix
    {{Reset, Start, Start, Continue, Reset, Reset}},    // NOpen
    {{End, End, End, Continue, Continue, Continue}},    // NDigit
    {{End, End, End, Continue, Continue, Continue}},    // NSeparator
    {{End, Continue, End, End, End, End}},              // NClose
}};

struct AsciiClass {
    Lb line = XX;
    Numeric numeric = NX;
};

constexpr std::array<AsciiClass, 128> makeClasses() {
    std::array<AsciiClass, 128> c{};
    for (int ch = 0x21; ch < 0x7F; ++ch)
        c[ch] = {AL, NX};
    for (int ch = '0'; ch <= '9'; ++ch)
        c[ch] = {NU, NDigit};
    c['\t'] = {BA, NX};
    c['|'] = {BA, NX};
    c[' '] = {SP, NX};
    c['!'] = c['?'] = {EX, NX};
    c['"'] = c['\''] = {QU, NX};
    c['$'] = c['+'] = c['\\'] = {PR, NPrefix};
    c['%'] = {PO, NPrefix};
    c['('] = c['['] = c['{'] = {OP, NOpen};
    c[')'] = c[']'] = {CP, NClose};
    c['}'] = {CL, NClose};
    c[','] = c['.'] = c[':'] = c[';'] = {IS, NSeparator};
    c['/'] = {SY, NSeparator};
    c['-'] = {HY, NOpen};
    // Mathematical symbols separate the parts of a number like a comma.
    c['<'] = c['='] = c['>'] = c['~'] = {AL, NSeparator};
    return c;
}

constexpr std::array<AsciiClass, 128> kClasses = makeClasses();

bool tableAgreesWithQt() {
    // Every string of up to three characters of one of each kind, and numbers in their contexts.
    static const char kAlphabet[] = "\t !\"$%(),-./1<a}";
    std::vector<QString> probes;
    const int kinds = int(sizeof kAlphabet) - 1;
    for (int a = 0; a < kinds; ++a) {
        probes.push_back(QString(QLatin1Char(kAlphabet[a])));
        for (int b = 0; b < kinds; ++b) {
            probes.push_back(QString(QLatin1Char(kAlphabet[a])) + QLatin1Char(kAlphabet[b]));
            for (int c = 0; c < kinds; ++c)
                probes.push_back(QString(QLatin1Char(kAlphabet[a])) + QLatin1Char(kAlphabet[b]) +
                                 QLatin1Char(kAlphabet[c]));
        }
    }
    for (const char* text : {"\t1 1", "a1- 1", "$(1.5)% a", "x 1,000.5 y", "(-1) 2", "1-2-3 a", "<1> =2 ~3",
                             "a.1/2:3;4 b", "He said \"12%\" (approx.) - done!", " x  -  y  "})
        probes.push_back(QString::fromLatin1(text));
    std::vector<qsizetype> ours, qts;
    for (const QString& probe : probes) {
        qtLineBreaks(probe, qts);
        if (!asciiLineBreaks(probe, ours) || ours != qts)
            return false;
    }
    return true;
}

bool useTable() {
    static const bool agrees = tableAgreesWithQt();
    return agrees;
}

} // namespace

bool asciiLineBreaks(QStringView text, std::vector<qsizetype>& boundaries) {
    boundaries.clear();
    const qsizetype n = text.size();
    if (n == 0)
        return true;
    const char16_t* units = text.utf16();
    const auto classOf = [&](qsizetype i) -> const AsciiClass* {
        return units[i] < 128 && kClasses[units[i]].line != XX ? &kClasses[units[i]] : nullptr;
    };
    const AsciiClass* first = classOf(0);
    if (!first)
        return false;
    // The first character is never preceded by a break and starts no number; leading spaces
    // count as a letter before what follows them.
    Lb last = first->line == SP ? AL : first->line;
    bool spaces = first->line == SP;
    Numeric numeric = NX;
    qsizetype numberStart = 0;
    // The breaks found since the number started are the last ones found.
    const auto clearNumber = [&] {
        while (!boundaries.empty() && boundaries.back() > numberStart)
            boundaries.pop_back();
    };
    for (qsizetype i = 1; i < n; ++i) {
        const AsciiClass* c = classOf(i);
        if (!c)
            return false;
        if (c->line == SP) {
            spaces = true;
            continue;
        }
        switch (kNumericSteps[numeric][c->numeric]) {
        case End:
            clearNumber();
            numeric = NX;
            break;
        case Reset:
            numeric = NX;
            break;
        case Start:
            numberStart = i;
            numeric = c->numeric;
            break;
        case Continue:
            numeric = c->numeric;
            break;
        }
        const Pair pair = kPairs[last][c->line];
        if (pair == D || (pair == I && spaces))
            boundaries.push_back(i);
        last = c->line;
        spaces = false;
    }
    if (kNumericSteps[numeric][NX] == End)
        clearNumber();
    boundaries.push_back(n);
    return true;
}

void qtLineBreaks(QStringView text, std::vector<qsizetype>& boundaries) {
    boundaries.clear();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
    for (qsizetype b = finder.toNextBoundary(); b > 0; b = finder.toNextBoundary())
        boundaries.push_back(b);
}

LineBoundaries::LineBoundaries(QStringView text) {
    if (!useTable() || !asciiLineBreaks(text, boundaries_))
        qtLineBreaks(text, boundaries_);
}

qsizetype LineBoundaries::next() {
    return at_ < boundaries_.size() ? boundaries_[at_++] : -1;
}

} // namespace zendrik
