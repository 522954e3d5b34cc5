#include "demotext.h"

#include <QStringList>

namespace demo {

QString demonstrationText() {
    static const QStringList paragraphs{
        QStringLiteral(
            "    Orvanel is a 32-bit ActiveX (OCX) control that greatly simplifies printing tasks in your "
            "applications. It prints reports, text files and long texts of any size on any printer attached to "
            "the system. You no longer have to format each line by hand for the selected font, printer, paper "
            "size, orientation and margins, nor work out how many lines fit on a page and how many pages the "
            "document will take: the control measures the text, wraps it and breaks it into pages for you. All "
            "you supply is the document title, the body and, if you wish, a page header and a page footer; "
            "Orvanel does the rest with a single call."),
        QStringLiteral(
            "    Orvanel provides great flexibility in printing your documents. You can query the printers "
            "attached to the system and choose the one to print on, and you can select the print quality, the "
            "paper size, the orientation, the paper bin, the number of copies, the margins on every side of the "
            "page and the line spacing of the body."),
        QStringLiteral(
            "    Orvanel automatically formats the document text. The title, the header and the footer are laid "
            "out by the font faces and sizes you choose for each of them, and the body is word-wrapped to fit "
            "the paper size and orientation of the selected printer, with page numbers, the date and time, a "
            "border and separating lines added on request."),
        QStringLiteral(
            "    Orvanel can be used in any 32-bit programming language that support ActiveX (OCX) controls, "
            "such as Microsoft Visual Basic, Visual C++, Borland Delphi, C++Builder, PowerBuilder, Visual FoxPro "
            "and Microsoft Access."),
        QStringLiteral(
            "    Orvanel appears on the toolbox of your development environment as a small printer icon. When "
            "you place it on a form it is drawn as that printer icon, which cannot be resized, and it has a "
            "default name 'Zendrik1'. The control is invisible at run time."),
    };
    return paragraphs.join(QStringLiteral("\r\n\r\n"));
}

} // namespace demo
