#pragma once

#include <QString>

namespace zendrik {

// The five-paragraph description of the component that the demonstrations print: each paragraph
// begins with four spaces, paragraphs are separated by CR LF CR LF, nothing follows the last.
QString demonstrationText();

} // namespace zendrik
