#include "FormMain/FormMainLists.h"

#include <zendrik/papers.h>

namespace demo {
namespace {

// The entries of one of the component's tables, in code order, each sending its code.
template <class Table> QList<ListEntry> entriesOf(const Table& table) {
    QList<ListEntry> entries;
    for (const auto& row : table) {
        entries.append({QString::fromLatin1(row.name), row.code});
    }
    return entries;
}

// The list's default entry, which sends a fixed code, before its named entries.
QList<ListEntry> withDefault(const char* defaultEntry, int defaultCode, const QList<ListEntry>& named) {
    return QList<ListEntry>{{QString::fromLatin1(defaultEntry), defaultCode}} + named;
}

QList<ListEntry> numbers(std::initializer_list<int> values) {
    QList<ListEntry> entries;
    for (int value : values) {
        entries.append({QString::number(value), value});
    }
    return entries;
}

AdvancedWindowLists build() {
    const QList<ListEntry> bigSizes = numbers({8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28});
    const QList<ListEntry> smallSizes = bigSizes.mid(0, 5);
    // The default entries send the same codes as choosing "Medium", "A4", "Portrait" and "Auto".
    const int medium = 3;
    const int portrait = 1;
    return {
        {"cboPrintQuality",
         withDefault("(Default Print Quality)", medium, {{"Draft", 1}, {"Low", 2}, {"Medium", 3}, {"High", 4}}), 0,
         medium},
        {"cboPaperSize",
         withDefault("(Default Paper Size)", zendrik::kDefaultPaperCode, entriesOf(zendrik::paperTable())), 0,
         zendrik::kDefaultPaperCode},
        {"cboOrientation", withDefault("(Default Orientation)", portrait, {{"Portrait", 1}, {"Landscape", 2}}), 0,
         portrait},
        {"cboPaperBin",
         withDefault("(Default Paper Bin)", zendrik::kDefaultPaperBinCode, entriesOf(zendrik::paperBinTable())), 0,
         zendrik::kDefaultPaperBinCode},
        {"cboCopies", numbers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 0, 1},
        {"cboTitleSize", bigSizes, 8, 0},
        {"cboTextSize", bigSizes, 2, 0},
        {"cboHeaderSize", smallSizes, 0, 0},
        {"cboFooterSize", smallSizes, 0, 0},
        // No default entry: nothing selected sends 0.
        {"cboLineSpacing", {{"Single", 1}, {"1.5 Lines", 2}, {"Double", 3}}, 0, 0},
    };
}

} // namespace

const AdvancedWindowLists& advancedWindowLists() {
    static const AdvancedWindowLists lists = build();
    return lists;
}

} // namespace demo
