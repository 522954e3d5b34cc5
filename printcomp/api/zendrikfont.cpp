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
    : QObject(&owner), owner_(owner), memberId_(memberId), spec_(std::move(initial)) {
    if (const auto info = memberById(memberId))
        setObjectName(QLatin1String(info->name));
}

ZendrikFont::~ZendrikFont() = default;

template <class T> void ZendrikFont::assign(T& field, const T& value, FontMember what, const QVariant& sent) {
    const bool differs = field != value;
    field = value;
    owner_.fontChanged(*this, what, sent);
    if (differs)
        emit changed();
}

void ZendrikFont::setName(const QString& family) {
    assign(spec_.name, family, FontMember::Name, family);
}

void ZendrikFont::setSize(const QString& points) {
    const QString trimmed = points.trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale().toDouble(trimmed, &ok);
    if (!ok || !acceptedSize(value))
        refuseSize(memberId_, QStringLiteral("\"%1\"").arg(points));
    assign(spec_.pointSize, value, FontMember::Size, points);
}

void ZendrikFont::setSize(double points) {
    if (!acceptedSize(points))
        refuseSize(memberId_, QString::number(points));
    assign(spec_.pointSize, points, FontMember::Size, points);
}

void ZendrikFont::setBold(bool on) {
    assign(spec_.bold, on, FontMember::Bold, on);
}

void ZendrikFont::setItalic(bool on) {
    assign(spec_.italic, on, FontMember::Italic, on);
}

void ZendrikFont::setUnderline(bool on) {
    assign(spec_.underline, on, FontMember::Underline, on);
}

} // namespace zendrik
