#include "FormMain/FormMain.h"

#include "FormStart/FormStart.h"
#include "FormStatus/FormStatus.h"
#include "application.h"
#include "centerform.h"
#include "messagebox.h"
#include "windowregistry.h"

#include "demotext.h"
#include "designtimepresets.h"
#include <zendrik/zendrik.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace demo {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kDarkBlue(0, 0, 192);
const QColor kRed(255, 0, 0);
const QColor kMaroon(128, 0, 0);
const QColor kLightYellow(254, 255, 225);

const QString kPictures = QStringLiteral(":/pictures/");

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
    spec.picture = kPictures + QStringLiteral("printer-glyph.gif");
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

// A list entry and the value ApplySettings sends for it.
struct ListEntry {
    const char* text;
    int value;
};

// One option list: its entries, and what is sent when nothing is selected.
struct OptionTable {
    const char* list;
    std::span<const ListEntry> entries;
    int unselected;
};

// The default entries send fixed codes; a named entry sends its index.
constexpr ListEntry kPrintQuality[] = {
    {"(Default Print Quality)", 3}, {"Draft", 1}, {"Low", 2}, {"Medium", 3}, {"High", 4},
};

constexpr ListEntry kPaperSize[] = {
    {"(Default Paper Size)", 9},
    {"Letter", 1},
    {"LetterSmall", 2},
    {"Tabloid", 3},
    {"Ledger", 4},
    {"Legal", 5},
    {"Statement", 6},
    {"Executive", 7},
    {"A3", 8},
    {"A4", 9},
    {"A4Small", 10},
    {"A5", 11},
    {"B4", 12},
    {"B5", 13},
    {"Folio", 14},
    {"Quarto", 15},
    {"10x14", 16},
    {"11x17", 17},
    {"Note", 18},
    {"Env9", 19},
    {"Env10", 20},
    {"Env11", 21},
    {"Env12", 22},
    {"Env14", 23},
    {"CSheet", 24},
    {"DSheet", 25},
    {"ESheet", 26},
    {"EnvDL", 27},
    // The component reads positions, so these three keep their list order, not their paper codes.
    {"EnvC3", 28},
    {"EnvC4", 29},
    {"EnvC5", 30},
    {"EnvC6", 31},
    {"EnvC65", 32},
    {"EnvB4", 33},
    {"EnvB5", 34},
    {"EnvB6", 35},
    {"EnvItaly", 36},
    {"EnvMonarch", 37},
    {"EnvPersonal", 38},
    {"FanfoldUS", 39},
    {"FanfoldStdGerman", 40},
    {"FanfoldLglGerman", 41}};

constexpr ListEntry kOrientation[] = {{"(Default Orientation)", 1}, {"Portrait", 1}, {"Landscape", 2}};

constexpr ListEntry kPaperBin[] = {
    {"(Default Paper Bin)", 7}, {"Upper", 1}, {"Lower", 2},   {"Middle", 3},   {"Manual", 4},    {"Envelope", 5},
    {"EnvManual", 6},           {"Auto", 7},  {"Tractor", 8}, {"SmallFmt", 9}, {"LargeFmt", 10}, {"LargeCapacity", 11},
    {"Cassette", 12},
};

constexpr ListEntry kCopies[] = {{"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"5", 5},
                                 {"6", 6}, {"7", 7}, {"8", 8}, {"9", 9}, {"10", 10}};

constexpr ListEntry kLineSpacing[] = {{"Single", 1}, {"1.5 Lines", 2}, {"Double", 3}};

// Title and body sizes; the header and footer lists stop at 12 points.
constexpr ListEntry kFontSizes[] = {{"8", 8},   {"9", 9},   {"10", 10}, {"11", 11}, {"12", 12}, {"14", 14}, {"16", 16},
                                    {"18", 18}, {"20", 20}, {"22", 22}, {"24", 24}, {"26", 26}, {"28", 28}};
constexpr std::span<const ListEntry> kSmallFontSizes = std::span(kFontSizes).first(5);

const OptionTable kQualityList{"cboPrintQuality", kPrintQuality, 3};
const OptionTable kPaperSizeList{"cboPaperSize", kPaperSize, 9};
const OptionTable kOrientationList{"cboOrientation", kOrientation, 1};
const OptionTable kPaperBinList{"cboPaperBin", kPaperBin, 7};
const OptionTable kCopiesList{"cboCopies", kCopies, 1};
const OptionTable* const kPrinterSettingLists[] = {&kQualityList, &kPaperSizeList, &kOrientationList, &kPaperBinList,
                                                   &kCopiesList};

// Line spacing has no default entry: no selection sends 0.
const OptionTable kLineSpacingList{"cboLineSpacing", kLineSpacing, 0};

struct SizeList {
    const char* list;
    std::span<const ListEntry> entries;
    int selected;
};

const SizeList kSizeLists[] = {
    {"cboTitleSize", kFontSizes, 8},
    {"cboTextSize", kFontSizes, 2},
    {"cboHeaderSize", kSmallFontSizes, 0},
    {"cboFooterSize", kSmallFontSizes, 0},
};

constexpr int kVisibleListEntries = 12;

const char* const kFontLists[] = {"cboTitleFont", "cboTextFont", "cboHeaderFont", "cboFooterFont"};

const char* const kNotice = "Nothing of the code in this form is required if you use the default properties of the "
                            "control to print your documents.";

void fill(QComboBox* list, std::span<const ListEntry> entries, int selected) {
    for (const ListEntry& entry : entries) {
        list->addItem(QString::fromLatin1(entry.text), entry.value);
    }
    list->setCurrentIndex(selected);
}

// In the order ApplySettings sends them.
struct MarginBox {
    const char* box;
    const char* field;
};

const MarginBox kMargins[] = {
    {"txtMarginLeft", "left margin"},
    {"txtMarginRight", "right margin"},
    {"txtMarginTop", "top margin"},
    {"txtMarginBottom", "bottom margin"},
};

// The margin in whole twips, rounded toward minus infinity, or why the text is not one the
// component takes.
struct MarginValue {
    std::optional<qint16> twips;
    QString problem;
};

// The margins' accepted range, as the component states it.
const zendrik::MemberInfo& marginMember() {
    static const zendrik::MemberInfo info = *zendrik::memberById(zendrik::MemberId::MarginLeft);
    return info;
}

MarginValue marginFromText(const QString& text) {
    if (text.trimmed().isEmpty()) {
        return {std::nullopt, QStringLiteral("is empty")};
    }
    bool ok = false;
    const double number = QLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(number)) {
        return {std::nullopt, QStringLiteral("\"%1\" is not a number").arg(text)};
    }
    const double whole = std::floor(number);
    if (whole < double(marginMember().minimum) || whole > double(marginMember().maximum)) {
        return {std::nullopt, QStringLiteral("%1 is out of range").arg(text.trimmed())};
    }
    return {static_cast<qint16>(whole), {}};
}

// As with the platform's option groups, Tab stops only at the selected button; the arrow keys move
// between them.
void makeOneTabStop(const QList<QRadioButton*>& group) {
    for (QRadioButton* button : group) {
        button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        QObject::connect(button, &QRadioButton::toggled, button, [button](bool checked) {
            button->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        });
    }
}

QString withCrLf(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

FormMain::PrinterSource& printerSource() {
    static FormMain::PrinterSource source;
    return source;
}

FormMain::FontFamilySource& fontFamilySource() {
    static FormMain::FontFamilySource source;
    return source;
}

} // namespace

int defaultFontIndex(const QStringList& families) {
    int selection = 0;
    const int end = std::min<int>(kFontListLength, static_cast<int>(families.size()));
    for (int i = 0; i < end; ++i) {
        const QString& name = families.at(i);
        if (name == QLatin1String("Verdana") || name == QLatin1String("Tahoma") ||
            name == QLatin1String("Times New Roman")) {
            selection = i;
        }
    }
    return selection;
}

struct FormMain::FontControls {
    zendrik::ZendrikFont& (zendrik::Zendrik::*font)();
    const char* fontList;
    const char* sizeList;
    const char* checkArray;
};

FormMain::FormMain() : Form(QStringLiteral("FormMain")) {
    setWindowTitle(QStringLiteral("Orvanel Demo"));
    setWindowIcon(QIcon(kPictures + QStringLiteral("printer-icon.png")));
    QFont windowFont(QStringLiteral("Verdana"));
    windowFont.setPointSizeF(8.25);
    setFont(windowFont);
    setClientSizeTwips(8985, 8100);
}

FormMain::~FormMain() = default;

std::span<const ControlSpec> FormMain::layoutTable() {
    static const std::vector<ControlSpec> table = buildLayout();
    return table;
}

void FormMain::setPrinterSource(PrinterSource source) {
    printerSource() = std::move(source);
}

void FormMain::setFontFamilySource(FontFamilySource source) {
    fontFamilySource() = std::move(source);
}

QComboBox* FormMain::list(const char* name) {
    return control<QComboBox>(QString::fromLatin1(name));
}

bool FormMain::isChecked(const QString& name) {
    return control<QCheckBox>(name)->checkState() == Qt::Checked;
}

zendrik::Zendrik* FormMain::Zendrik1() {
    return control<zendrik::Zendrik>(QStringLiteral("Zendrik1"));
}

void FormMain::createControls(QWidget* client) {
    const auto table = layoutTable();
    demo::createControls(table, client);

    QPixmap photograph(kPictures + QStringLiteral("printer.jpg"));
    auto* image = client->findChild<QLabel*>(QStringLiteral("Image1"));
    image->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    image->setLineWidth(2);
    image->setScaledContents(true);
    image->setPixmap(photograph);

    auto* print = control<QPushButton>(QStringLiteral("Command1"));
    connect(print, &QPushButton::clicked, this, &FormMain::command1Click);
    connect(client->findChild<QPushButton*>(QStringLiteral("Command2")), &QPushButton::clicked, this,
            &FormMain::command2Click);

    for (QComboBox* list : client->findChildren<QComboBox*>()) {
        // An opened list scrolls through its entries in the list's own colours instead of covering the screen.
        list->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
        list->setMaxVisibleItems(kVisibleListEntries);
        list->view()->setPalette(list->palette());
    }

    makeOneTabStop(client->findChildren<QRadioButton*>());
    applyTabOrder(table, client);
    print->setFocus();

    auto* component = new zendrik::Zendrik(advancedWindowProperties(), client);
    component->setObjectName(QStringLiteral("Zendrik1"));
    connect(component, &zendrik::Zendrik::PrintingPage, this, &FormMain::zendrik1PrintingPage);
    connect(component, &zendrik::Zendrik::PrintComplete, this, &FormMain::zendrik1PrintComplete);
    connect(component, &zendrik::Zendrik::PrintError, this, &FormMain::zendrik1PrintError);
}

void FormMain::onLoad() {
    qint16 count = 0;
    const QStringList names = printerSource() ? printerSource()(count) : Zendrik1()->GetPrinters(count);
    QComboBox* printers = list("cboPrinter");
    printers->addItem(QStringLiteral("(Default Printer)"));
    // A count larger than the names returned adds only the names there are.
    for (qint16 i = 0; i < count && i < names.size(); ++i) {
        printers->addItem(names.at(i));
    }
    printers->setCurrentIndex(0);

    for (const OptionTable* table : kPrinterSettingLists) {
        fill(list(table->list), table->entries, 0);
    }

    const QStringList families =
        (fontFamilySource() ? fontFamilySource()() : QFontDatabase::families()).mid(0, kFontListLength);
    const int fontSelection = defaultFontIndex(families);
    for (const char* name : kFontLists) {
        list(name)->addItems(families);
    }
    for (const char* name : kFontLists) {
        list(name)->setCurrentIndex(fontSelection);
    }

    for (const SizeList& sizes : kSizeLists) {
        fill(list(sizes.list), sizes.entries, sizes.selected);
    }
    fill(list(kLineSpacingList.list), kLineSpacingList.entries, 0);

    for (const MarginBox& margin : kMargins) {
        control<QLineEdit>(QString::fromLatin1(margin.box))->setText(QString::number(1440));
    }

    control<QLineEdit>(QStringLiteral("txtTitle"))->setText(QStringLiteral("Orvanel Demo"));
    // The text box keeps line breaks as LF; they go back to CR LF when printed.
    QString body = demonstrationText();
    control<QPlainTextEdit>(QStringLiteral("txtText"))
        ->setPlainText(body.replace(QLatin1String("\r\n"), QLatin1String("\n")));
    control<QLineEdit>(QStringLiteral("txtHeader"))->setText(QStringLiteral("Orvanel Document Header"));
    control<QLineEdit>(QStringLiteral("txtFooter"))->setText(QStringLiteral("Orvanel Document Footer"));

    CenterForm(*this);
    MessageBox::show(QString::fromLatin1(kNotice), kExclamation);
}

void FormMain::applyFont(const FontControls& controls) {
    zendrik::Zendrik* component = Zendrik1();
    const QString check = QString::fromLatin1(controls.checkArray);
    // The font object is read afresh for each assignment.
    (component->*controls.font)().setName(list(controls.fontList)->currentText());
    (component->*controls.font)().setSize(list(controls.sizeList)->currentText());
    (component->*controls.font)().setBold(isChecked(check + QStringLiteral("(0)")));
    (component->*controls.font)().setItalic(isChecked(check + QStringLiteral("(1)")));
    (component->*controls.font)().setUnderline(isChecked(check + QStringLiteral("(2)")));
}

bool FormMain::ApplySettings() {
    // Every margin is checked before anything is sent, so a typing slip leaves the component as it was.
    std::array<qint16, std::size(kMargins)> margins{};
    for (std::size_t i = 0; i < std::size(kMargins); ++i) {
        const MarginValue value = marginFromText(control<QLineEdit>(QString::fromLatin1(kMargins[i].box))->text());
        if (!value.twips) {
            MessageBox::show(QStringLiteral("The %1 %2. Enter a number of twips from %3 to %4 "
                                            "(1440 twips are one inch).")
                                 .arg(QString::fromLatin1(kMargins[i].field), value.problem)
                                 .arg(marginMember().minimum)
                                 .arg(marginMember().maximum),
                             kExclamation, QStringLiteral("Orvanel Demo"));
            return false;
        }
        margins[i] = *value.twips;
    }

    QComboBox* printers = list("cboPrinter");
    printerName_ = printers->currentIndex() > 0 ? printers->currentText() : QString();

    const auto selectedValue = [this](const OptionTable& table) {
        QComboBox* box = list(table.list);
        return box->currentIndex() < 0 ? table.unselected : box->currentData().toInt();
    };
    zendrik::Zendrik* component = Zendrik1();
    component->setPrintQuality(selectedValue(kQualityList));
    component->setPaperSize(selectedValue(kPaperSizeList));
    component->setOrientation(selectedValue(kOrientationList));
    component->setPaperBin(selectedValue(kPaperBinList));
    component->setCopies(static_cast<qint16>(selectedValue(kCopiesList)));

    applyFont({&zendrik::Zendrik::DocTitleFont, "cboTitleFont", "cboTitleSize", "Check1"});
    applyFont({&zendrik::Zendrik::DocTextFont, "cboTextFont", "cboTextSize", "Check2"});
    component->setLineSpacing(selectedValue(kLineSpacingList));
    applyFont({&zendrik::Zendrik::DocHeaderFont, "cboHeaderFont", "cboHeaderSize", "Check3"});
    applyFont({&zendrik::Zendrik::DocFooterFont, "cboFooterFont", "cboFooterSize", "Check4"});

    component->setPrintPageNumbers(isChecked(QStringLiteral("Check5")));
    component->setPrintDateTime(isChecked(QStringLiteral("Check6")));
    component->setDrawBorder(isChecked(QStringLiteral("Check7")));
    component->setLineBelowHeader(isChecked(QStringLiteral("Check8")));
    component->setLineAboveFooter(isChecked(QStringLiteral("Check9")));

    component->setMarginLeft(margins[0]);
    component->setMarginRight(margins[1]);
    component->setMarginTop(margins[2]);
    component->setMarginBottom(margins[3]);
    component->setPrintMode(1);
    return true;
}

void FormMain::command1Click() {
    if (!ApplySettings()) {
        return;
    }
    zendrik::Zendrik* component = Zendrik1();
    const QString title = control<QLineEdit>(QStringLiteral("txtTitle"))->text();
    const QString header = control<QLineEdit>(QStringLiteral("txtHeader"))->text();
    const QString footer = control<QLineEdit>(QStringLiteral("txtFooter"))->text();
    if (control<QRadioButton>(QStringLiteral("Option1(0)"))->isChecked()) {
        component->setDocFile(QString());
        component->setDocTitle(title);
        component->setDocText(withCrLf(control<QPlainTextEdit>(QStringLiteral("txtText"))->toPlainText()));
        component->setDocHeader(header);
        component->setDocFooter(footer);
    } else if (control<QRadioButton>(QStringLiteral("Option1(1)"))->isChecked()) {
        component->setDocFile(applicationFile(QStringLiteral("Demo1.txt")));
        component->setDocFileAllData(true);
    } else {
        component->setDocTitle(title);
        component->setDocHeader(header);
        component->setDocFooter(footer);
        component->setDocFile(applicationFile(QStringLiteral("Demo2.txt")));
        component->setDocFileAllData(false);
    }

    hideForm();
    FormStatus& status = demo::window<FormStatus>();
    status.showForm();
    status.refreshForm();
    Zendrik1()->PrintDoc(printerName_);
}

void FormMain::command2Click() {
    demo::window<FormStart>().showForm();
    unloadForm();
}

void FormMain::zendrik1PrintingPage(qint32 page) {
    demo::window<FormStatus>().setLabel1Caption(QStringLiteral("Now Printing Page: ") + QString::number(page));
    demo::window<FormStatus>().Label1()->repaint();
}

void FormMain::zendrik1PrintComplete() {
    demo::window<FormStatus>().setLabel1Caption(QStringLiteral("Print Complete!"));
    demo::window<FormStatus>().Timer1()->stop();
}

void FormMain::zendrik1PrintError() {
    MessageBox::show(QStringLiteral("Print error!"), kExclamation);
}

} // namespace demo
