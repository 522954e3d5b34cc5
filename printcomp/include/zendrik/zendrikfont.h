#pragma once
// The component's font object: the five font members a host sets (Name, Size, Bold, Italic,
// Underline). The component owns one per document part and hands it out by reference (in C++) or
// as a QObject* property of the component; a change made through it is what prints.

#include <zendrik/zendrikglobal.h>

#include <QObject>
#include <QString>
#include <QVariant>

namespace zendrik {

class Zendrik;

// Member numbers of the font object.
enum class FontMember { Name = 0, Size = 2, Bold = 3, Italic = 4, Underline = 5 };

// A font as it is stored and snapshotted: plain values, cheap to copy between threads.
struct FontSpec {
    QString name = QStringLiteral("Sans Serif");
    double pointSize = 10.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    friend bool operator==(const FontSpec& a, const FontSpec& b) {
        return a.name == b.name && a.pointSize == b.pointSize && a.bold == b.bold && a.italic == b.italic &&
               a.underline == b.underline;
    }
    friend bool operator!=(const FontSpec& a, const FontSpec& b) { return !(a == b); }
};

// Every member is also a Q_PROPERTY of the same name, so that property("Size") and QML reach it.
// A property write of a refused size leaves the size as it was and raises the component's
// valueRefused signal instead of throwing.
class ZENDRIK_EXPORT ZendrikFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE setName NOTIFY changed)
    Q_PROPERTY(double Size READ Size WRITE writeSize NOTIFY changed)
    Q_PROPERTY(bool Bold READ Bold WRITE setBold NOTIFY changed)
    Q_PROPERTY(bool Italic READ Italic WRITE setItalic NOTIFY changed)
    Q_PROPERTY(bool Underline READ Underline WRITE setUnderline NOTIFY changed)
public:
    ~ZendrikFont() override;

    QString Name() const { return spec_.name; }
    // Any family name is taken; printing falls back to an installed font when it is missing.
    void setName(const QString& family);

    double Size() const { return spec_.pointSize; }
    // Points, given as text ("10", "8.25"; C locale or the user's locale). Throws RefusedValue
    // unless it is a number from 1 to 800 points.
    void setSize(const QString& points);
    void setSize(double points);

    bool Bold() const { return spec_.bold; }
    void setBold(bool on);
    bool Italic() const { return spec_.italic; }
    void setItalic(bool on);
    bool Underline() const { return spec_.underline; }
    void setUnderline(bool on);

    const FontSpec& spec() const { return spec_; }

signals:
    // Any of the five members was set.
    void changed();

private:
    friend class Zendrik;
    ZendrikFont(Zendrik& owner, quint32 memberId, FontSpec initial);
    void writeSize(double points);
    template <class T> void assign(T& field, const T& value, FontMember what, const QVariant& sent);
    Zendrik& owner_;
    quint32 memberId_;
    FontSpec spec_;
};

} // namespace zendrik
