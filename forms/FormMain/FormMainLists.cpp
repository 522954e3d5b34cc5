#include "FormMain/FormMainLists.h"

#include <span>

namespace demo {
namespace {

// The component reads positions, so EnvC3, EnvC4 and EnvC5 keep their list order, not their paper
// codes, and Cassette stands at 12.
constexpr const char* kPaperSizes[] = {
    "Letter",
    "LetterSmall",
    "Tabloid",
    "Ledger",
    "Legal",
    "Statement",
    "Executive",
    "A3",
    "A4",
    "A4Small",
    "A5",
    "B4",
    "B5",
    "Folio",
    "Quarto",
    "10x14",
    "11x17",
    "Note",
    "Env9",
    "Env10",
    "Env11",
    "Env12",
    "Env14",
    "CSheet",
    "DSheet",
    "ESheet",
    "EnvDL",
    "EnvC3",
    "EnvC4",
    "EnvC5",
    "EnvC6",
    "EnvC65",
    "EnvB4",
    "EnvB5",
    "EnvB6",
    "EnvItaly",
    "EnvMonarch",
    "EnvPersonal",
    "FanfoldUS",
    "FanfoldStdGerman",
    "FanfoldLglGerman",
};

constexpr const char* kPaperBins[] = {
    "Upper", "Lower",   "Middle",   "Manual",   "Envelope",      "EnvManual",
    "Auto",  "Tractor", "SmallFmt", "LargeFmt", "LargeCapacity", "Cassette",
};

QStringList names(std::span<const char* const> table) {
    QStringList list;
    for (const char* name : table) {
        list << QString::fromLatin1(name);
    }
    return list;
}

// A default entry that sends `defaultCode`, then the named entries, each sending its position.
QList<ListEntry> withDefault(const char* defaultEntry, int defaultCode, const QStringList& named) {
    QList<ListEntry> entries{{QString::fromLatin1(defaultEntry), defaultCode}};
    for (int i = 0; i < named.size(); ++i) {
        entries.append({named.at(i), i + 1});
    }
    return entries;
}

QList<ListEntry> numbers(std::initializer_list<int> values) {
    QList<ListEntry> entries;
    for (int value : values) {
        entries.append({QString::number(value), value});
    }
    return entries;
}

AdvancedWindowLists build() {
    // The default entries send fixed codes, the same as choosing "Medium", "A4", "Portrait" and "Auto".
    const QList<ListEntry> bigSizes = numbers({8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28});
    const QList<ListEntry> smallSizes = bigSizes.mid(0, 5);
    return {
        {"cboPrintQuality", withDefault("(Default Print Quality)", 3, {"Draft", "Low", "Medium", "High"}), 0, 3},
        {"cboPaperSize", withDefault("(Default Paper Size)", 9, paperSizeNames()), 0, 9},
        {"cboOrientation", withDefault("(Default Orientation)", 1, {"Portrait", "Landscape"}), 0, 1},
        {"cboPaperBin", withDefault("(Default Paper Bin)", 7, paperBinNames()), 0, 7},
        {"cboCopies", numbers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 0, 1},
        {"cboTitleSize", bigSizes, 8, 0},
        {"cboTextSize", bigSizes, 2, 0},
        {"cboHeaderSize", smallSizes, 0, 0},
        {"cboFooterSize", smallSizes, 0, 0},
        // No default entry: nothing selected sends 0.
        {"cboLineSpacing",
         {{QStringLiteral("Single"), 1}, {QStringLiteral("1.5 Lines"), 2}, {QStringLiteral("Double"), 3}},
         0,
         0},
    };
}

} // namespace

QStringList paperSizeNames() {
    return names(kPaperSizes);
}

QStringList paperBinNames() {
    return names(kPaperBins);
}

const AdvancedWindowLists& advancedWindowLists() {
    static const AdvancedWindowLists lists = build();
    return lists;
}

} // namespace demo
