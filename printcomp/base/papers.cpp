#include <zendrik/papers.h>

#include <array>

namespace zendrik {

namespace {

// Positions 28 to 30 list EnvC3, EnvC4, EnvC5 in that order. Where two sheets share a PWG name
// (Ledger and Tabloid), the printer gets the same media.
constexpr std::array<Paper, 41> kPapers{{
    {1, "Letter", "na_letter_8.5x11in", false},
    {2, "LetterSmall", "na_letter_8.5x11in", false},
    {3, "Tabloid", "na_ledger_11x17in", false},
    {4, "Ledger", "na_ledger_11x17in", true},
    {5, "Legal", "na_legal_8.5x14in", false},
    {6, "Statement", "na_invoice_5.5x8.5in", false},
    {7, "Executive", "na_executive_7.25x10.5in", false},
    {8, "A3", "iso_a3_297x420mm", false},
    {9, "A4", "iso_a4_210x297mm", false},
    {10, "A4Small", "iso_a4_210x297mm", false},
    {11, "A5", "iso_a5_148x210mm", false},
    {12, "B4", "iso_b4_250x353mm", false},
    {13, "B5", "jis_b5_182x257mm", false},
    {14, "Folio", "na_foolscap_8.5x13in", false},
    {15, "Quarto", "na_quarto_8.5x10.83in", false},
    {16, "10x14", "na_10x14_10x14in", false},
    {17, "11x17", "na_ledger_11x17in", false},
    {18, "Note", "na_letter_8.5x11in", false},
    {19, "Env9", "na_number-9_3.875x8.875in", false},
    {20, "Env10", "na_number-10_4.125x9.5in", false},
    {21, "Env11", "na_number-11_4.5x10.375in", false},
    {22, "Env12", "na_number-12_4.75x11in", false},
    {23, "Env14", "na_number-14_5x11.5in", false},
    {24, "CSheet", "na_c_17x22in", false},
    {25, "DSheet", "na_d_22x34in", false},
    {26, "ESheet", "na_e_34x44in", false},
    {27, "EnvDL", "iso_dl_110x220mm", false},
    {28, "EnvC3", "iso_c3_324x458mm", false},
    {29, "EnvC4", "iso_c4_229x324mm", false},
    {30, "EnvC5", "iso_c5_162x229mm", false},
    {31, "EnvC6", "iso_c6_114x162mm", false},
    {32, "EnvC65", "iso_c6c5_114x229mm", false},
    {33, "EnvB4", "iso_b4_250x353mm", false},
    {34, "EnvB5", "iso_b5_176x250mm", false},
    {35, "EnvB6", "iso_b6_125x176mm", true},
    {36, "EnvItaly", "om_italian_110x230mm", false},
    {37, "EnvMonarch", "na_monarch_3.875x7.5in", false},
    {38, "EnvPersonal", "na_personal_3.625x6.5in", false},
    {39, "FanfoldUS", "na_fanfold-us_11x14.875in", true},
    {40, "FanfoldStdGerman", "na_fanfold-eur_8.5x12in", false},
    {41, "FanfoldLglGerman", "na_foolscap_8.5x13in", false},
}};

// Bins without a PWG keyword use the name CUPS derives from a PPD InputSlot of the same name.
constexpr std::array<PaperBin, 12> kBins{{
    {1, "Upper", "top"},
    {2, "Lower", "bottom"},
    {3, "Middle", "middle"},
    {4, "Manual", "manual"},
    {5, "Envelope", "envelope"},
    {6, "EnvManual", "env-manual"},
    {7, "Auto", "auto"},
    {8, "Tractor", "tractor"},
    {9, "SmallFmt", "small-fmt"},
    {10, "LargeFmt", "large-fmt"},
    {11, "LargeCapacity", "large-capacity"},
    {12, "Cassette", "main"},
}};

template <class Row, size_t N> std::optional<Row> byCode(const std::array<Row, N>& table, int code) {
    if (code < 1 || code > int(N))
        return std::nullopt;
    return table[size_t(code - 1)];
}

template <class Row, size_t N> std::optional<Row> byName(const std::array<Row, N>& table, QStringView name) {
    for (const Row& row : table) {
        if (name.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0)
            return row;
    }
    return std::nullopt;
}

// The size at the end of a PWG self-describing name ("iso_a4_210x297mm"), in points, as written.
QSizeF pwgMediaSize(QStringView name) {
    const qsizetype sizeStart = name.lastIndexOf(u'_') + 1;
    QStringView dims = name.mid(sizeStart);
    double unit = 0;
    if (dims.endsWith(u"mm"))
        unit = 72.0 / 25.4;
    else if (dims.endsWith(u"in"))
        unit = 72.0;
    const qsizetype x = dims.indexOf(u'x');
    if (unit == 0 || x < 0)
        return {};
    bool okW = false;
    bool okH = false;
    const double w = dims.left(x).toDouble(&okW);
    const double h = dims.mid(x + 1, dims.size() - x - 3).toDouble(&okH);
    return okW && okH ? QSizeF(w * unit, h * unit) : QSizeF();
}

} // namespace

QSizeF Paper::size() const {
    const QSizeF sheet = pwgMediaSize(QString::fromLatin1(pwgMedia));
    return wide ? sheet.transposed() : sheet;
}

TableView<Paper> paperTable() {
    return {kPapers.data(), kPapers.size()};
}

std::optional<Paper> paperForCode(int code) {
    return byCode(kPapers, code);
}

std::optional<Paper> paperByName(QStringView name) {
    return byName(kPapers, name);
}

TableView<PaperBin> paperBinTable() {
    return {kBins.data(), kBins.size()};
}

std::optional<PaperBin> paperBinForCode(int code) {
    return byCode(kBins, code);
}

std::optional<PaperBin> paperBinByName(QStringView name) {
    return byName(kBins, name);
}

} // namespace zendrik
