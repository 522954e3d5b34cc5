#include "glyphbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace demo {

void GlyphButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    constexpr int kGap = 2;
    const QFontMetrics metrics(font());
    int x = (width() - kGlyphPixels) / 2;
    int y = (height() - kGlyphPixels - kGap - metrics.height()) / 2;
    if (isDown()) {
        x += style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this);
        y += style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this);
    }
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    painter.drawPixmap(x, y, icon().pixmap(QSize(kGlyphPixels, kGlyphPixels), devicePixelRatio(), mode));
    const QRect textRect(x - (width() - kGlyphPixels) / 2, y + kGlyphPixels + kGap, width(), metrics.height());
    painter.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

} // namespace demo
