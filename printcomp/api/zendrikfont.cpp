#include <zendrik/zendrikfont.h>

#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QLocale>

#include <cmath>

namespace zendrik {

namespace {
constexpr double kMaxPointSize = 1638.0;

QString memberName(quint32 id) {
    const auto info = memberById(id);
    return info ? QString::fromLatin1(info->name) : QString::number(id, 16);
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
    if (!ok || !std::isfinite(value) || value <= 0.0 || value > kMaxPointSize) {
        throw RefusedValue(QStringLiteral("%1.Size: value \"%2\" refused; accepted: a positive number of points "
                                          "up to %3")
                               .arg(memberName(memberId_), points)
                               .arg(kMaxPointSize)
                               .toStdString());
    }
    spec_.pointSize = value;
    owner_.fontChanged(*this, FontMember::Size, points);
}

void ZendrikFont::setSize(double points) {
    if (!std::isfinite(points) || points <= 0.0 || points > kMaxPointSize) {
        throw RefusedValue(QStringLiteral("%1.Size: value %2 refused; accepted: a positive number of points up to %3")
                               .arg(memberName(memberId_))
                               .arg(points)
                               .arg(kMaxPointSize)
                               .toStdString());
    }
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
