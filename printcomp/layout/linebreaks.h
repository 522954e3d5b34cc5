#pragma once
// Where a paragraph may be broken into lines: Qt's line boundaries (QTextBoundaryFinder::Line),
// found for a paragraph of printable ASCII and tabs by a table of its few classes instead, about
// ten times faster. The table follows Qt's rules; a process whose Qt answers otherwise for any of a
// set of probes uses Qt for every paragraph.

#include <QStringView>

#include <vector>

namespace zendrik {

class LineBoundaries {
public:
    explicit LineBoundaries(QStringView text);
    // The next place after the last one where a line may end, up to the text's end; -1 after it.
    qsizetype next();

private:
    std::vector<qsizetype> boundaries_;
    size_t at_ = 0;
};

// The places (1 to size, in order) where a line of printable ASCII and tab text may end, as Qt
// finds them; false when the text holds anything else.
bool asciiLineBreaks(QStringView text, std::vector<qsizetype>& boundaries);

// Qt's own answer, as asciiLineBreaks gives it.
void qtLineBreaks(QStringView text, std::vector<qsizetype>& boundaries);

} // namespace zendrik
