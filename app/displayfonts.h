#pragma once
// The display's font names as the windows offer them.

#include <QString>
#include <QStringList>

namespace demo {

// A family name without the foundry Qt appends when two foundries offer the family:
// "Nimbus Sans [urw]" becomes "Nimbus Sans".
QString plainFamilyName(const QString& family);

// The font database's families in its order, each once by its plain name, leaving out names that
// stand for another family (Qt's "Sans Serif", "Serif", "Monospace"): every name listed is the
// family a font of that name shows and prints in.
QStringList displayFontFamilies();

} // namespace demo
