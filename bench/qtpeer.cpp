// The benchmark's Qt peer: a text file printed to PDF with Qt alone, as a Qt program would
// without the component: QTextLayout breaks each paragraph (A4, 1-inch margins, DejaVu Sans 10 pt)
// and QPainter draws the lines on a QPdfWriter. Writes "page 1" to standard error as page 1 starts.

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench-qtpeer TEXT PDF\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return 1;
    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(25.4, 25.4, 25.4, 25.4), QPageLayout::Millimeter);
    pdf.setResolution(1200);
    QPainter painter(&pdf);
    const QFont font(QStringLiteral("DejaVu Sans"), 10);
    painter.setFont(font);
    const QRect area = pdf.pageLayout().paintRectPixels(pdf.resolution());
    const QFontMetricsF metrics(font, &pdf);
    qreal y = 0;
    std::fprintf(stderr, "page 1\n");
    QTextStream text(&in);
    while (!text.atEnd()) {
        QTextLayout layout(text.readLine(), font, &pdf);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(area.width());
        layout.endLayout();
        for (int i = 0; i < std::max(1, layout.lineCount()); ++i) {
            if (y + metrics.height() > area.height()) {
                pdf.newPage();
                y = 0;
            }
            if (i < layout.lineCount())
                layout.lineAt(i).draw(&painter, QPointF(0, y - layout.lineAt(i).y()));
            y += metrics.lineSpacing();
        }
    }
    return painter.end() ? 0 : 1;
}
