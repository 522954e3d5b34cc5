#include "FormMain/FormMain.h"

#include "FormMain/FormMainLists.h"
#include "FormStart/FormStart.h"
#include "FormStatus/FormStatus.h"
#include "application.h"
#include "centerform.h"
#include "displayfonts.h"
#include "messagebox.h"
#include "savedpdf.h"
#include "windowregistry.h"

#include "demotext.h"
#include "designtimepresets.h"
#include <zendrik/zendrik.h>

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace demo {
namespace {

constexpr int kVisibleListEntries = 12;

const char* const kFontLists[] = {"cboTitleFont", "cboTextFont", "cboHeaderFont", "cboFooterFont"};

const char* const kNotice = "Nothing of the code in this form is required if you use the default properties of the "
                            "control to print your documents.";

void fill(QComboBox* list, const OptionList& table) {
    for (const ListEntry& entry : table.entries) {
        list->addItem(entry.text, entry.value);
    }
    list->setCurrentIndex(table.selected);
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
    setWindowIcon(QIcon(QStringLiteral(":/pictures/printer-icon.png")));
    QFont windowFont(QStringLiteral("Verdana"));
    windowFont.setPointSizeF(8.25);
    setFont(windowFont);
    setClientSizeTwips(8985, 8100);
}

FormMain::~FormMain() = default;

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

    auto* image = control<QLabel>(QStringLiteral("Image1"));
    image->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    image->setLineWidth(kPictureBorderPixels);
    image->setScaledContents(true);
    image->setPixmap(QPixmap(QStringLiteral(":/pictures/printer.jpg")));

    auto* print = control<QPushButton>(QStringLiteral("Command1"));
    connect(print, &QPushButton::clicked, this, &FormMain::command1Click);
    connect(control<QPushButton>(QStringLiteral("Command2")), &QPushButton::clicked, this, &FormMain::command2Click);

    for (QComboBox* list : client->findChildren<QComboBox*>()) {
        list->setMaxVisibleItems(kVisibleListEntries);
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

    const AdvancedWindowLists& lists = advancedWindowLists();
    for (const OptionList* table :
         {&lists.quality, &lists.paperSize, &lists.orientation, &lists.paperBin, &lists.copies}) {
        fill(list(table->name), *table);
    }

    const QStringList families =
        (fontFamilySource() ? fontFamilySource()() : displayFontFamilies()).mid(0, kFontListLength);
    const int fontSelection = defaultFontIndex(families);
    for (const char* name : kFontLists) {
        list(name)->addItems(families);
    }
    for (const char* name : kFontLists) {
        list(name)->setCurrentIndex(fontSelection);
    }

    for (const OptionList* table :
         {&lists.titleSize, &lists.textSize, &lists.headerSize, &lists.footerSize, &lists.lineSpacing}) {
        fill(list(table->name), *table);
    }

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

    const auto selectedValue = [this](const OptionList& table) {
        QComboBox* box = list(table.name);
        return box->currentIndex() < 0 ? table.unselected : box->currentData().toInt();
    };
    const AdvancedWindowLists& lists = advancedWindowLists();
    zendrik::Zendrik* component = Zendrik1();
    component->setPrintQuality(selectedValue(lists.quality));
    component->setPaperSize(selectedValue(lists.paperSize));
    component->setOrientation(selectedValue(lists.orientation));
    component->setPaperBin(selectedValue(lists.paperBin));
    component->setCopies(static_cast<qint16>(selectedValue(lists.copies)));

    applyFont({&zendrik::Zendrik::DocTitleFont, "cboTitleFont", "cboTitleSize", "Check1"});
    applyFont({&zendrik::Zendrik::DocTextFont, "cboTextFont", "cboTextSize", "Check2"});
    component->setLineSpacing(selectedValue(lists.lineSpacing));
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
    demo::window<FormStatus>().showSavedFile(savedPdfPath(*Zendrik1()));
}

void FormMain::zendrik1PrintError(qint32, const QString& description) {
    MessageBox::show(QStringLiteral("Print error!"), kExclamation, {}, description);
}

} // namespace demo
