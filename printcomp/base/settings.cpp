#include "base/settings.h"

namespace zendrik {

QFont toQFont(const FontSpec& spec) {
    QFont f(spec.name);
    f.setPointSizeF(spec.pointSize);
    f.setBold(spec.bold);
    f.setItalic(spec.italic);
    f.setUnderline(spec.underline);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferOutline);
    return f;
}

} // namespace zendrik
