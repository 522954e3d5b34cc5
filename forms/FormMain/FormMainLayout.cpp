// The advanced window's layout: one row per control, in twips, as designed.

#include "FormMain/FormMain.h"

#include <vector>

namespace demo {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kDarkBlue(0, 0, 192);
const QColor kRed(255, 0, 0);
const QColor kMaroon(128, 0, 0);
const QColor kLightYellow(254, 255, 225);

ControlSpec frame(const char* name, const char* caption, int left, int top, int width, int height, int tab,
                  const char* container = "") {
    return {QString::fromLatin1(name),
            ControlKind::Frame,
            QString::fromLatin1(container),
            QString::fromLatin1(caption),
            left,
            top,
            width,
            height,
            tab};
}

ControlSpec fieldLabel(int index, const char* container, const char* caption, int left, int top, int width, int tab) {
    ControlSpec spec{QStringLiteral("Label2(%1)").arg(index),
                     ControlKind::Label,
                     QString::fromLatin1(container),
                     QString::fromLatin1(caption),
                     left,
                     top,
                     width,
                     195,
                     tab};
    spec.autoSize = true;
    return spec;
}

ControlSpec optionList(const char* name, const char* container, int left, int top, int width, int tab) {
    ControlSpec spec{QString::fromLatin1(name),
                     ControlKind::ComboBox,
                     QString::fromLatin1(container),
                     {},
                     left,
                     top,
                     width,
                     315,
                     tab};
    spec.foreground = kMaroon;
    spec.background = kLightYellow;
    return spec;
}

ControlSpec checkBox(const char* name, const char* container, const char* caption, int left, int top, int width,
                     int height, int tab, bool checked = false) {
    ControlSpec spec{QString::fromLatin1(name),
                     ControlKind::CheckBox,
                     QString::fromLatin1(container),
                     QString::fromLatin1(caption),
                     left,
                     top,
                     width,
                     height,
                     tab};
    spec.checked = checked;
    return spec;
}

ControlSpec textBox(const char* name, const char* container, int left, int top, int width, int height, int tab,
                    const QColor& text) {
    ControlSpec spec{QString::fromLatin1(name),
                     ControlKind::TextBox,
                     QString::fromLatin1(container),
                     {},
                     left,
                     top,
                     width,
                     height,
                     tab};
    spec.foreground = text;
    spec.background = kLightYellow;
    return spec;
}

ControlSpec optionButton(int index, const char* caption, int left, int top, int width, int tab, bool selected) {
    ControlSpec spec{QStringLiteral("Option1(%1)").arg(index),
                     ControlKind::OptionButton,
                     QStringLiteral("Frame7"),
                     QString::fromLatin1(caption),
                     left,
                     top,
                     width,
                     195,
                     tab};
    spec.checked = selected;
    return spec;
}

ControlSpec commandButton(const char* name, const char* caption, int left, int top, int width, int height, int tab) {
    return {QString::fromLatin1(name),
            ControlKind::CommandButton,
            {},
            QString::fromLatin1(caption),
            left,
            top,
            width,
            height,
            tab};
}

ControlSpec bannerLabel(int index, int left, int top, int tab, const QColor& colour) {
    ControlSpec spec{QStringLiteral("Label1(%1)").arg(index),
                     ControlKind::Label,
                     {},
                     QStringLiteral("Orvanel Demo"),
                     left,
                     top,
                     5100,
                     570,
                     tab};
    spec.font = {QStringLiteral("Comic Sans MS"), 20.25, true};
    spec.foreground = colour;
    spec.autoSize = true;
    return spec;
}

// "Print Document": graphical, the printer glyph above the caption.
ControlSpec printButton() {
    ControlSpec spec = commandButton("Command1", "Print Document", 6420, 7020, 1365, 1005, 3);
    spec.kind = ControlKind::GraphicalButton;
    spec.picture = QStringLiteral(":/pictures/printer-glyph.gif");
    return spec;
}

ControlSpec bodyTextBox() {
    ControlSpec spec = textBox("txtText", "Frame5", 750, 600, 3555, 2205, 57, kDarkBlue);
    spec.kind = ControlKind::MultiLineTextBox;
    return spec;
}

std::vector<ControlSpec> buildLayout() {
    return {
        // Banner: the dark blue title is created last, so it lies on top of its white edge.
        bannerLabel(0, 1950, 60, 0, kWhite),
        bannerLabel(1, 1920, 30, 1, kDarkBlue),
        {QStringLiteral("Image1"), ControlKind::Image, {}, {}, 30, 30, 1140, 660},
        frame("Frame1", "", -30, 720, 9255, 30, 2),
        printButton(),

        frame("Frame2", "Printer settings", 60, 4470, 4335, 2415, 4),
        fieldLabel(0, "Frame2", "Printer:", 120, 390, 540, 5),
        optionList("cboPrinter", "Frame2", 1230, 360, 2985, 6),
        fieldLabel(1, "Frame2", "Print Quality:", 120, 720, 945, 7),
        optionList("cboPrintQuality", "Frame2", 1230, 690, 2985, 12),
        fieldLabel(2, "Frame2", "Paper Size:", 120, 1065, 810, 8),
        optionList("cboPaperSize", "Frame2", 1230, 1020, 2985, 13),
        fieldLabel(3, "Frame2", "Orientation:", 120, 1395, 870, 9),
        optionList("cboOrientation", "Frame2", 1230, 1350, 2985, 14),
        fieldLabel(4, "Frame2", "Paper Bin:", 120, 1740, 735, 10),
        optionList("cboPaperBin", "Frame2", 1230, 1680, 2985, 15),
        fieldLabel(5, "Frame2", "Copies:", 120, 2070, 540, 11),
        optionList("cboCopies", "Frame2", 1230, 2010, 2985, 16),

        frame("Frame3", "Document settings", 60, 840, 4335, 3525, 17),
        fieldLabel(6, "Frame3", "Title Font:", 150, 390, 735, 19),
        optionList("cboTitleFont", "Frame3", 1260, 330, 1875, 18),
        fieldLabel(7, "Frame3", "Size:", 3210, 390, 345, 20),
        optionList("cboTitleSize", "Frame3", 3600, 330, 645, 21),
        fieldLabel(8, "Frame3", "Effects:", 510, 690, 570, 25),
        checkBox("Check1(0)", "Frame3", "Bold", 1260, 690, 795, 255, 22, true),
        checkBox("Check1(1)", "Frame3", "Italic", 2190, 690, 795, 255, 23),
        checkBox("Check1(2)", "Frame3", "Underline", 3120, 690, 1155, 255, 24),
        frame("Frame4(0)", "", 0, 960, 4335, 30, 34, "Frame3"),
        fieldLabel(9, "Frame3", "Body Font:", 150, 1110, 795, 27),
        optionList("cboTextFont", "Frame3", 1260, 1050, 1875, 26),
        fieldLabel(10, "Frame3", "Size:", 3210, 1110, 345, 28),
        optionList("cboTextSize", "Frame3", 3600, 1050, 645, 29),
        fieldLabel(11, "Frame3", "Effects:", 510, 1410, 570, 33),
        checkBox("Check2(0)", "Frame3", "Bold", 1260, 1410, 795, 255, 30),
        checkBox("Check2(1)", "Frame3", "Italic", 2190, 1410, 795, 255, 31),
        checkBox("Check2(2)", "Frame3", "Underline", 3120, 1410, 1155, 255, 32),
        fieldLabel(27, "Frame3", "Line Spacing:", 120, 1710, 945, 82),
        optionList("cboLineSpacing", "Frame3", 1260, 1650, 1875, 81),
        frame("Frame4(1)", "", 0, 2010, 4335, 30, 43, "Frame3"),
        fieldLabel(12, "Frame3", "Header Font:", 120, 2160, 960, 36),
        optionList("cboHeaderFont", "Frame3", 1230, 2100, 1875, 35),
        fieldLabel(13, "Frame3", "Size:", 3180, 2160, 345, 37),
        optionList("cboHeaderSize", "Frame3", 3570, 2100, 645, 38),
        fieldLabel(14, "Frame3", "Effects:", 480, 2460, 570, 42),
        checkBox("Check3(0)", "Frame3", "Bold", 1230, 2460, 795, 255, 39),
        checkBox("Check3(1)", "Frame3", "Italic", 2160, 2460, 795, 255, 40),
        checkBox("Check3(2)", "Frame3", "Underline", 3090, 2460, 1155, 255, 41),
        frame("Frame4(2)", "", 0, 2760, 4335, 30, 44, "Frame3"),
        fieldLabel(15, "Frame3", "Footer Font:", 120, 2910, 915, 46),
        optionList("cboFooterFont", "Frame3", 1230, 2850, 1875, 45),
        fieldLabel(16, "Frame3", "Size:", 3180, 2910, 345, 47),
        optionList("cboFooterSize", "Frame3", 3570, 2850, 645, 48),
        fieldLabel(17, "Frame3", "Effects:", 480, 3210, 570, 52),
        checkBox("Check4(0)", "Frame3", "Bold", 1230, 3210, 795, 255, 49),
        checkBox("Check4(1)", "Frame3", "Italic", 2160, 3210, 795, 255, 50, true),
        checkBox("Check4(2)", "Frame3", "Underline", 3090, 3210, 1155, 255, 51),

        frame("Frame5", "Document contents", 4500, 840, 4425, 3525, 53),
        fieldLabel(18, "Frame5", "Title:", 120, 300, 360, 54),
        textBox("txtTitle", "Frame5", 750, 300, 3555, 285, 55, kDarkBlue),
        fieldLabel(19, "Frame5", "Body:", 120, 600, 420, 56),
        bodyTextBox(),
        fieldLabel(20, "Frame5", "Header:", 120, 2850, 585, 58),
        textBox("txtHeader", "Frame5", 750, 2820, 3555, 285, 59, kDarkBlue),
        fieldLabel(21, "Frame5", "Footer:", 120, 3150, 540, 60),
        textBox("txtFooter", "Frame5", 750, 3120, 3555, 285, 61, kDarkBlue),

        frame("Frame6", "Other options", 4500, 4470, 4425, 2415, 62),
        fieldLabel(22, "Frame6", "Margins (in twips):", 150, 240, 1320, 68),
        fieldLabel(23, "Frame6", "Left:", 300, 540, 345, 69),
        textBox("txtMarginLeft", "Frame6", 750, 510, 1245, 285, 70, kRed),
        fieldLabel(24, "Frame6", "Right:", 2340, 510, 435, 71),
        textBox("txtMarginRight", "Frame6", 2910, 480, 1335, 285, 72, kRed),
        fieldLabel(25, "Frame6", "Top:", 300, 840, 330, 73),
        textBox("txtMarginTop", "Frame6", 750, 810, 1245, 285, 74, kRed),
        fieldLabel(26, "Frame6", "Bottom:", 2220, 810, 570, 75),
        textBox("txtMarginBottom", "Frame6", 2910, 780, 1335, 285, 76, kRed),
        checkBox("Check5", "Frame6", "Print page numbers", 180, 1230, 4125, 195, 63),
        checkBox("Check6", "Frame6", "Print date / time at the bottom of document", 180, 1440, 4125, 195, 64, true),
        checkBox("Check7", "Frame6", "Draw document border", 180, 1650, 4125, 195, 65),
        checkBox("Check8", "Frame6", "Draw a line below header", 180, 1860, 4125, 195, 66, true),
        checkBox("Check9", "Frame6", "Draw a line above footer", 180, 2070, 4125, 195, 67, true),

        frame("Frame7", "What To Print", 60, 6930, 6285, 1125, 77),
        optionButton(0, "Print document from the data supplied in the text boxes above", 120, 270, 5385, 78, true),
        optionButton(1, "Print document from text file (all data supplied from the text file)", 120, 540, 5325, 79,
                     false),
        optionButton(2, "Print document from text file (only document body supplied from file)", 120, 810, 5445, 80,
                     false),

        commandButton("Command2", "Exit", 7830, 7020, 1095, 1005, 83),
    };
}

} // namespace

std::span<const ControlSpec> FormMain::layoutTable() {
    static const std::vector<ControlSpec> table = buildLayout();
    return table;
}

} // namespace demo
