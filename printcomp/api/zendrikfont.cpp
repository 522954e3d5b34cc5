#include <zendrik/zendrikfont.h>

#include "base/settings.h"

#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QLocale>

#include <cmath>

namespace zendrik {

namespace {

QString memberName(quint32 id) {
    const auto info = memberById(id);
    return info ? QString::fromLatin1(info->name) : QString::number(id, 16);
}

bool acceptedSize(double points) {
    return std::isfinite(points) && points >= kMinPointSize && points <= kMaxPointSize;
}

[[noreturn]] void refuseSize(quint32 memberId, const QString& value) {
    throw RefusedValue(QStringLiteral("%1.Size: value %2 refused; accepted: %3 to %4 points")
                           .arg(memberName(memberId), value)
                           .arg(kMinPointSize)
                           .arg(kMaxPointSize)
                           .toStdString());
}

} // namespace

ZendrikFont::ZendrikFont(Zendrik& owner, quint32 memberId, FontSpec initial)
    : owner_(owner), memberId_(memberId), spec_(std::move(initial)) {}

void ZendrikFont::setName(const QString& family) {
    spec_.name = family;
    owner_.fontChanged(*this, FontMember::Name, family);
}

void ZendrikFont::setSize(const QString& points) {
    const QString trimmed = points.trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale().toDouble(trimmed, &ok);
    if (!ok || !acceptedSize(value))
        refuseSize(memberId_, QStringLiteral("\"%1\"").arg(points));
    spec_.pointSize = value;
    owner_.fontChanged(*this, FontMember::Size, points);
}

void ZendrikFont::setSize(double points) {
    if (!acceptedSize(points))
        refuseSize(memberId_, QString::number(points));
    spec_.pointSize = points;
    owner_.fontChanged(*this, FontMember::Size, points);
}

void ZendrikFont::setBold(bool on) {
    spec_.bold = on;
    owner_.fontChanged(*this, FontMember::Bold, on);
}

void ZendrikFont::setItalic(bool on) {
    spec_.italic = on;
    owner_.fontChanged(*this, FontMember::Italic, on);
}

void ZendrikFont::setUnderline(bool on) {
    spec_.underline = on;
    owner_.fontChanged(*this, FontMember::Underline, on);
}

} // namespace zendrik
