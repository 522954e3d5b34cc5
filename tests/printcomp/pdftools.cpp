#include "pdftools.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace pdftools {

namespace {
QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

Info info(const QString& path) {
    Info result;
    const QString out = run(QStringLiteral("pdfinfo"), {path});
    if (out.isEmpty())
        return result;
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption);
    static const QRegularExpression size(QStringLiteral("^Page size:\\s+([\\d.]+) x ([\\d.]+) pts"),
                                         QRegularExpression::MultilineOption);
    static const QRegularExpression title(QStringLiteral("^Title:[ \\t]*(.*)$"), QRegularExpression::MultilineOption);
    const auto p = pages.match(out);
    const auto s = size.match(out);
    result.ok = p.hasMatch() && s.hasMatch();
    result.pages = p.captured(1).toInt();
    result.pageSize = QSizeF(s.captured(1).toDouble(), s.captured(2).toDouble());
    result.title = title.match(out).captured(1).trimmed();
    return result;
}

QString text(const QString& path, int page) {
    QStringList args;
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    args << path << QStringLiteral("-");
    return run(QStringLiteral("pdftotext"), args);
}

QStringList fonts(const QString& path) {
    return run(QStringLiteral("pdffonts"), {path}).split(u'\n', Qt::SkipEmptyParts).mid(2);
}

} // namespace pdftools
