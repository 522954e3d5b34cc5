#pragma once
// The member table with what the component needs besides the public view: where each member's
// value lives among the settings. Typed setters, setMember and member() all go through it, so a
// member's range is written once.

#include "base/settings.h"

#include <zendrik/members.h>

#include <QStringView>

#include <optional>
#include <span>
#include <variant>

namespace zendrik {

using MemberField = std::variant<std::monostate, QString Settings::*, bool Settings::*, qint16 Settings::*,
                                 qint32 Settings::*, FontRole>;

struct MemberRow {
    MemberInfo info;
    MemberField field;
};

const MemberRow* memberRowById(quint32 id);
const MemberRow* memberRowByName(QStringView name);

// The code a name stands for where a member is a code ("A4" for PaperSize, "Manual" for
// PaperBin, "Landscape" for Orientation), from the same tables as the layout and the printers
// use; any case. nullopt for another member or an unknown name.
std::optional<qint64> codeForName(quint32 memberId, QStringView name);

// The font object's own members, by the names a host uses after the font member's ("DocTextFont.Size").
struct FontSubMember {
    const char* name;
    FontMember member;
};
std::span<const FontSubMember> fontSubMembers();

} // namespace zendrik
