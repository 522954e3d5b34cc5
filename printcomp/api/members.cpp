#include "api/memberaccess.h"

#include <zendrik/papers.h>

#include <QStringList>

#include <array>

namespace zendrik {

namespace {

using K = MemberKind;
using T = ValueType;
namespace M = MemberId;
using S = Settings;

constexpr MemberInfo put(quint32 id, const char* name, ValueType type, const char* meaning = "") {
    return MemberInfo{id, name, K::Put, type, 0, 0, meaning};
}
constexpr MemberInfo number(quint32 id, const char* name, ValueType type, qint64 low, qint64 high,
                            const char* meaning = "") {
    return MemberInfo{id, name, K::Put, type, low, high, meaning};
}

constexpr std::array kRows{
    MemberRow{put(M::DocTitle, "DocTitle", T::String), &S::docTitle},
    MemberRow{put(M::DocText, "DocText", T::String, "any text; line breaks CR LF, LF or CR"), &S::docText},
    MemberRow{put(M::DocHeader, "DocHeader", T::String), &S::docHeader},
    MemberRow{put(M::DocFooter, "DocFooter", T::String), &S::docFooter},
    MemberRow{put(M::DocFile, "DocFile", T::String, "\"\" or the path of a text file"), &S::docFile},
    MemberRow{put(M::DocFileAllData, "DocFileAllData", T::Boolean), &S::docFileAllData},
    MemberRow{{M::DocTitleFont, "DocTitleFont", K::Get, T::Font}, FontRole::Title},
    MemberRow{{M::DocTextFont, "DocTextFont", K::Get, T::Font}, FontRole::Body},
    MemberRow{{M::DocHeaderFont, "DocHeaderFont", K::Get, T::Font}, FontRole::Header},
    MemberRow{{M::DocFooterFont, "DocFooterFont", K::Get, T::Font}, FontRole::Footer},
    MemberRow{number(M::PrintQuality, "PrintQuality", T::Int32, 1, 4, "1 Draft, 2 Low, 3 Medium, 4 High"),
              &S::printQuality},
    MemberRow{number(M::PaperSize, "PaperSize", T::Int32, 1, 41, "the position in the paper-size list"), &S::paperSize},
    MemberRow{number(M::Orientation, "Orientation", T::Int32, 1, 2, "1 Portrait, 2 Landscape"), &S::orientation},
    MemberRow{number(M::PaperBin, "PaperBin", T::Int32, 1, 12, "the position in the paper-bin list"), &S::paperBin},
    MemberRow{number(M::Copies, "Copies", T::Int16, 1, 32767), &S::copies},
    MemberRow{number(M::LineSpacing, "LineSpacing", T::Int32, 0, 3, "0 or 1 Single, 2 1.5 Lines, 3 Double"),
              &S::lineSpacing},
    MemberRow{number(M::MarginLeft, "MarginLeft", T::Int16, 0, 32767, "twips"), &S::marginLeft},
    MemberRow{number(M::MarginRight, "MarginRight", T::Int16, 0, 32767, "twips"), &S::marginRight},
    MemberRow{number(M::MarginTop, "MarginTop", T::Int16, 0, 32767, "twips"), &S::marginTop},
    MemberRow{number(M::MarginBottom, "MarginBottom", T::Int16, 0, 32767, "twips"), &S::marginBottom},
    MemberRow{number(M::PrintMode, "PrintMode", T::Int16, 1, 1), &S::printMode},
    MemberRow{put(M::PrintPageNumbers, "PrintPageNumbers", T::Boolean), &S::printPageNumbers},
    MemberRow{put(M::PrintDateTime, "PrintDateTime", T::Boolean), &S::printDateTime},
    MemberRow{put(M::DrawBorder, "DrawBorder", T::Boolean), &S::drawBorder},
    MemberRow{put(M::LineBelowHeader, "LineBelowHeader", T::Boolean), &S::lineBelowHeader},
    MemberRow{put(M::LineAboveFooter, "LineAboveFooter", T::Boolean), &S::lineAboveFooter},
    MemberRow{{M::PrintDoc, "PrintDoc", K::Call, T::None}, {}},
    MemberRow{{M::GetPrinters, "GetPrinters", K::Call, T::PrinterList}, {}},
};

struct CodeName {
    qint64 code;
    const char* name;
};
constexpr std::array kQualityNames{CodeName{1, "Draft"}, CodeName{2, "Low"}, CodeName{3, "Medium"},
                                   CodeName{4, "High"}};
constexpr std::array kOrientationNames{CodeName{1, "Portrait"}, CodeName{2, "Landscape"}};
constexpr std::array kLineSpacingNames{CodeName{1, "Single"}, CodeName{2, "1.5 Lines"}, CodeName{3, "Double"}};

std::span<const CodeName> namesOf(quint32 memberId) {
    switch (memberId) {
    case M::PrintQuality:
        return kQualityNames;
    case M::Orientation:
        return kOrientationNames;
    case M::LineSpacing:
        return kLineSpacingNames;
    default:
        return {};
    }
}

// The paper and bin names, which the accepted values list in full.
QStringList tableNames(quint32 memberId) {
    QStringList names;
    if (memberId == M::PaperSize) {
        for (const Paper& paper : paperTable())
            names << QLatin1String(paper.name);
    } else if (memberId == M::PaperBin) {
        for (const PaperBin& bin : paperBinTable())
            names << QLatin1String(bin.name);
    }
    return names;
}

constexpr std::array kFontSubMembers{
    FontSubMember{"Name", FontMember::Name},           FontSubMember{"Size", FontMember::Size},
    FontSubMember{"Bold", FontMember::Bold},           FontSubMember{"Italic", FontMember::Italic},
    FontSubMember{"Underline", FontMember::Underline},
};

} // namespace

const MemberRow* memberRowById(quint32 id) {
    for (const MemberRow& row : kRows) {
        if (row.info.id == id)
            return &row;
    }
    return nullptr;
}

const MemberRow* memberRowByName(QStringView name) {
    for (const MemberRow& row : kRows) {
        if (name == QLatin1String(row.info.name))
            return &row;
    }
    return nullptr;
}

std::optional<qint64> codeForName(quint32 memberId, QStringView name) {
    if (memberId == M::PaperSize) {
        if (const auto paper = paperByName(name))
            return paper->code;
    } else if (memberId == M::PaperBin) {
        if (const auto bin = paperBinByName(name))
            return bin->code;
    }
    for (const CodeName& entry : namesOf(memberId)) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.code;
    }
    return std::nullopt;
}

std::span<const FontSubMember> fontSubMembers() {
    return kFontSubMembers;
}

TableView<MemberInfo> memberTable() {
    static const auto infos = [] {
        std::array<MemberInfo, kRows.size()> all{};
        for (size_t i = 0; i < kRows.size(); ++i)
            all[i] = kRows[i].info;
        return all;
    }();
    return {infos.data(), infos.size()};
}

std::optional<MemberInfo> memberById(quint32 id) {
    if (const MemberRow* row = memberRowById(id))
        return row->info;
    return std::nullopt;
}

std::optional<MemberInfo> memberByName(const QString& name) {
    if (const MemberRow* row = memberRowByName(name))
        return row->info;
    return std::nullopt;
}

QString acceptedValues(const MemberInfo& member) {
    switch (member.type) {
    case ValueType::String:
        return *member.meaning ? QString::fromUtf8(member.meaning) : QStringLiteral("any text");
    case ValueType::Boolean:
        return QStringLiteral("true or false");
    case ValueType::Int16:
    case ValueType::Int32: {
        QString range = member.minimum == member.maximum
                            ? QString::number(member.minimum)
                            : QStringLiteral("%1 to %2").arg(member.minimum).arg(member.maximum);
        if (*member.meaning)
            range += QStringLiteral(" (%1)").arg(QLatin1String(member.meaning));
        if (const QStringList names = tableNames(member.id); !names.isEmpty())
            range += QStringLiteral(", or the name: %1").arg(names.join(QStringLiteral(", ")));
        else if (!namesOf(member.id).empty())
            range += QStringLiteral(", or the name");
        return range;
    }
    case ValueType::Font:
        return QStringLiteral(".Name any family, .Size %1 to %2 points, .Bold/.Italic/.Underline true or false")
            .arg(kMinPointSize)
            .arg(kMaxPointSize);
    case ValueType::None:
        return QStringLiteral("no argument, or a printer name");
    case ValueType::PrinterList:
        return QStringLiteral("a 16-bit count by reference");
    }
    return {};
}

} // namespace zendrik
