#pragma once
// The demonstration text the windows print and show; demo data, not part of the component.

#include <QString>

namespace demo {

// The five-paragraph description of the component that the demonstrations print: each paragraph
// begins with four spaces, paragraphs are separated by CR LF CR LF, nothing follows the last.
QString demonstrationText();

} // namespace demo
