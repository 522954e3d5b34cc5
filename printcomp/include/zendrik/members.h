#pragma once
// The member table: every member of the component with its fixed id, name, kind, value type and
// accepted values.

#include <zendrik/zendrikglobal.h>

#include <QString>

#include <optional>

namespace zendrik {

enum class MemberKind { Put, Get, Call };
enum class ValueType { String, Boolean, Int16, Int32, Font, None, PrinterList };

namespace MemberId {
inline constexpr quint32 DocTitle = 0x6803000A;
inline constexpr quint32 DocText = 0x68030014;
inline constexpr quint32 DocHeader = 0x68030013;
inline constexpr quint32 DocFooter = 0x68030012;
inline constexpr quint32 DocFile = 0x68030011;
inline constexpr quint32 DocFileAllData = 0x68030008;
inline constexpr quint32 DocTitleFont = 0x68030009;
inline constexpr quint32 DocTextFont = 0x6803001A;
inline constexpr quint32 DocHeaderFont = 0x68030019;
inline constexpr quint32 DocFooterFont = 0x68030018;
inline constexpr quint32 PrintQuality = 0x68030002;
inline constexpr quint32 PaperSize = 0x68030003;
inline constexpr quint32 Orientation = 0x68030005;
inline constexpr quint32 PaperBin = 0x68030001;
inline constexpr quint32 Copies = 0x6803000C;
inline constexpr quint32 LineSpacing = 0x68030006;
inline constexpr quint32 MarginLeft = 0x68030010;
inline constexpr quint32 MarginRight = 0x6803000F;
inline constexpr quint32 MarginTop = 0x6803000E;
inline constexpr quint32 MarginBottom = 0x6803000D;
inline constexpr quint32 PrintMode = 0x68030004;
inline constexpr quint32 PrintPageNumbers = 0x68030000;
inline constexpr quint32 PrintDateTime = 0x6803000B;
inline constexpr quint32 DrawBorder = 0x68030017;
inline constexpr quint32 LineBelowHeader = 0x68030016;
inline constexpr quint32 LineAboveFooter = 0x68030015;
inline constexpr quint32 PrintDoc = 0x60030023;
inline constexpr quint32 GetPrinters = 0x60030024;
} // namespace MemberId

struct MemberInfo {
    quint32 id;
    const char* name;
    MemberKind kind;
    ValueType type;
    // Integer members: the accepted range, and what the numbers mean.
    qint64 minimum = 0;
    qint64 maximum = 0;
    const char* meaning = "";
};

// All members, in the order of the contract.
ZENDRIK_EXPORT TableView<MemberInfo> memberTable();
ZENDRIK_EXPORT std::optional<MemberInfo> memberById(quint32 id);
// Case-sensitive lookup by name.
ZENDRIK_EXPORT std::optional<MemberInfo> memberByName(const QString& name);

// What a member accepts, as help texts and refused values say it ("1 to 4: 1 Draft, 2 Low, ...").
ZENDRIK_EXPORT QString acceptedValues(const MemberInfo& member);

} // namespace zendrik
