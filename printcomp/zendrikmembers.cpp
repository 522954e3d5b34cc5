#include <zendrik/members.h>

#include <array>

namespace zendrik {

namespace {

using K = MemberKind;
using T = ValueType;
namespace M = MemberId;

constexpr std::array kMembers{
    MemberInfo{M::DocTitle, "DocTitle", K::Put, T::String, "any text"},
    MemberInfo{M::DocText, "DocText", K::Put, T::String, "any text; line breaks CR LF, LF or CR"},
    MemberInfo{M::DocHeader, "DocHeader", K::Put, T::String, "any text"},
    MemberInfo{M::DocFooter, "DocFooter", K::Put, T::String, "any text"},
    MemberInfo{M::DocFile, "DocFile", K::Put, T::String, "\"\" or the path of a text file"},
    MemberInfo{M::DocFileAllData, "DocFileAllData", K::Put, T::Boolean, "true or false"},
    MemberInfo{M::DocTitleFont, "DocTitleFont", K::Get, T::Font,
               ".Name any family, .Size positive points, .Bold/.Italic/.Underline true or false"},
    MemberInfo{M::DocTextFont, "DocTextFont", K::Get, T::Font,
               ".Name any family, .Size positive points, .Bold/.Italic/.Underline true or false"},
    MemberInfo{M::DocHeaderFont, "DocHeaderFont", K::Get, T::Font,
               ".Name any family, .Size positive points, .Bold/.Italic/.Underline true or false"},
    MemberInfo{M::DocFooterFont, "DocFooterFont", K::Get, T::Font,
               ".Name any family, .Size positive points, .Bold/.Italic/.Underline true or false"},
    MemberInfo{M::PrintQuality, "PrintQuality", K::Put, T::Int32, "1 Draft, 2 Low, 3 Medium, 4 High", 1, 4},
    MemberInfo{M::PaperSize, "PaperSize", K::Put, T::Int32, "1 to 41 (position in the paper-size list)", 1, 41},
    MemberInfo{M::Orientation, "Orientation", K::Put, T::Int32, "1 Portrait, 2 Landscape", 1, 2},
    MemberInfo{M::PaperBin, "PaperBin", K::Put, T::Int32, "1 to 12 (position in the paper-bin list)", 1, 12},
    MemberInfo{M::Copies, "Copies", K::Put, T::Int16, "1 to 32767", 1, 32767},
    MemberInfo{M::LineSpacing, "LineSpacing", K::Put, T::Int32, "0 or 1 Single, 2 1.5 Lines, 3 Double", 0, 3},
    MemberInfo{M::MarginLeft, "MarginLeft", K::Put, T::Int16, "twips, 0 to 32767", 0, 32767},
    MemberInfo{M::MarginRight, "MarginRight", K::Put, T::Int16, "twips, 0 to 32767", 0, 32767},
    MemberInfo{M::MarginTop, "MarginTop", K::Put, T::Int16, "twips, 0 to 32767", 0, 32767},
    MemberInfo{M::MarginBottom, "MarginBottom", K::Put, T::Int16, "twips, 0 to 32767", 0, 32767},
    MemberInfo{M::PrintMode, "PrintMode", K::Put, T::Int16, "1", -32768, 32767},
    MemberInfo{M::PrintPageNumbers, "PrintPageNumbers", K::Put, T::Boolean, "true or false"},
    MemberInfo{M::PrintDateTime, "PrintDateTime", K::Put, T::Boolean, "true or false"},
    MemberInfo{M::DrawBorder, "DrawBorder", K::Put, T::Boolean, "true or false"},
    MemberInfo{M::LineBelowHeader, "LineBelowHeader", K::Put, T::Boolean, "true or false"},
    MemberInfo{M::LineAboveFooter, "LineAboveFooter", K::Put, T::Boolean, "true or false"},
    MemberInfo{M::PrintDoc, "PrintDoc", K::Call, T::None, "no argument, or a printer name"},
    MemberInfo{M::GetPrinters, "GetPrinters", K::Call, T::PrinterList, "a 16-bit count by reference"},
};

} // namespace

std::span<const MemberInfo> memberTable() {
    return kMembers;
}

std::optional<MemberInfo> memberById(quint32 id) {
    for (const auto& m : kMembers) {
        if (m.id == id)
            return m;
    }
    return std::nullopt;
}

std::optional<MemberInfo> memberByName(const QString& name) {
    for (const auto& m : kMembers) {
        if (name == QLatin1String(m.name))
            return m;
    }
    return std::nullopt;
}

} // namespace zendrik
