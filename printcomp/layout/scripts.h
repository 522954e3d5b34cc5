#pragma once
// Which text the component sets word by word from its own measurements, and which it leaves to
// Qt's full text layout. Line breaking and drawing must agree on this, or measuring and drawing
// would disagree.

#include <QStringView>

namespace zendrik {

// True when every character is of a script that is shaped letter by letter, left to right:
// Latin, Greek, Cyrillic, general punctuation and common symbols. Right-to-left and complex
// scripts, CJK and characters outside the Basic Multilingual Plane need whole-line shaping.
inline bool isSimpleScript(QStringView text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x0590 && (u < 0x1E00 || u >= 0x2300))
            return false;
    }
    return true;
}

} // namespace zendrik
