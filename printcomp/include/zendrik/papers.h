#pragma once
// The paper sizes and paper bins the PaperSize and PaperBin codes stand for: one table each, read
// by the component's layout and output and by programs that offer the choice.

#include <zendrik/zendrikglobal.h>

#include <QSizeF>
#include <QString>
#include <QStringView>

#include <optional>

namespace zendrik {

struct ZENDRIK_EXPORT Paper {
    int code;             // PaperSize: the position in the paper-size list, from 1
    const char* name;     // as the list names it
    const char* pwgMedia; // the PWG media name, which also gives the sheet's size
    bool wide;            // the sheet is named long side first (Ledger 17 x 11 in)

    // The sheet as named, in points: width first.
    QSizeF size() const;
};

// Every paper in code order (codes 1 to 41).
ZENDRIK_EXPORT TableView<Paper> paperTable();
// The paper of a code; nullopt outside the table.
ZENDRIK_EXPORT std::optional<Paper> paperForCode(int code);
// Case-insensitive lookup by list name ("a4", "Letter").
ZENDRIK_EXPORT std::optional<Paper> paperByName(QStringView name);
// The default paper (A4).
inline constexpr int kDefaultPaperCode = 9;

struct PaperBin {
    int code;                // PaperBin: the position in the paper-bin list, from 1
    const char* name;        // as the list names it
    const char* mediaSource; // the IPP media-source keyword
};

ZENDRIK_EXPORT TableView<PaperBin> paperBinTable();
ZENDRIK_EXPORT std::optional<PaperBin> paperBinForCode(int code);
ZENDRIK_EXPORT std::optional<PaperBin> paperBinByName(QStringView name);
inline constexpr int kDefaultPaperBinCode = 7;

} // namespace zendrik
