#include "FormStart/FormStart.h"

#include "FormMain/FormMain.h"
#include "centerform.h"
#include "messagebox.h"
#include "savedpdf.h"
#include "windowregistry.h"

#include "demotext.h"
#include "designtimepresets.h"
#include <zendrik/zendrik.h>

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <array>

namespace demo {
namespace {

const QColor kMaroon(128, 0, 0);
const ControlFont kBold{QStringLiteral("Tahoma"), 8.25, true};

const QString kTitle = QStringLiteral("Orvanel Demo");

const std::array<ControlSpec, 8> kLayout{{
    {QStringLiteral("Frame1"), ControlKind::Frame, {}, {}, 30, 0, 4635, 1395, 0},
    {QStringLiteral("Option1(0)"), ControlKind::OptionButton, QStringLiteral("Frame1"),
     QStringLiteral("Print with simple code"), 1740, 450, 2625, 195, 1, kBold, kMaroon, std::nullopt, false, true},
    {QStringLiteral("Option1(1)"), ControlKind::OptionButton, QStringLiteral("Frame1"),
     QStringLiteral("Show advanced features"), 1740, 840, 2625, 195, 2, kBold, kMaroon},
    {QStringLiteral("Frame2"), ControlKind::Frame, {}, QStringLiteral("Demo Description"), 60, 1470, 4605, 1845, 3},
    {QStringLiteral("Label1"),
     ControlKind::Label,
     QStringLiteral("Frame2"),
     QStringLiteral("Label1"),
     120,
     240,
     4305,
     1515,
     4,
     {},
     kMaroon},
    {QStringLiteral("cmdGo"), ControlKind::CommandButton, {}, QStringLiteral("Go..."), 1598, 3390, 1515, 405, 5},
    {QStringLiteral("cmdExit"), ControlKind::CommandButton, {}, QStringLiteral("Exit"), 3810, 3390, 825, 405, 6},
    {QStringLiteral("Image1(0)"), ControlKind::Image, QStringLiteral("Frame1"), {}, 90, 180, 1560, 1110},
}};

} // namespace

FormStart::FormStart() : Form(QStringLiteral("FormStart")) {
    setWindowTitle(kTitle);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/printer-icon.png")));
    // Fixed dialog border with a close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setClientSizeTwips(4710, 3825);
    setFixedSize(size());
}

std::span<const ControlSpec> FormStart::layout() {
    return kLayout;
}

QString FormStart::description(int index) {
    switch (index) {
    case 0:
        return QStringLiteral("This example shows how you can easily print a document "
                              "with only 3 lines of code!\r\n"
                              "\r\n"
                              "    Zendrik1.DocTitle = Orvanel Demo\r\n"
                              "    Zendrik1.DocText = Orvanel greatly simplifies \r\n"
                              "            printing documents from VB applications!\r\n"
                              "    Zendrik1.PrintDoc");
    case 1:
        return QStringLiteral("This example shows all the advanced features of Orvanel "
                              "where you can see how Orvanel can give you full control over "
                              "every printer setting and document setting!");
    default:
        return {};
    }
}

QRadioButton* FormStart::option1(int index) {
    return control<QRadioButton>(QStringLiteral("Option1(%1)").arg(index));
}

QLabel* FormStart::label1() {
    return control<QLabel>(QStringLiteral("Label1"));
}

QPushButton* FormStart::cmdGo() {
    return control<QPushButton>(QStringLiteral("cmdGo"));
}

QPushButton* FormStart::cmdExit() {
    return control<QPushButton>(QStringLiteral("cmdExit"));
}

QLabel* FormStart::image1() {
    return control<QLabel>(QStringLiteral("Image1(0)"));
}

zendrik::Zendrik& FormStart::zendrik1() {
    return *control<zendrik::Zendrik>(QStringLiteral("Zendrik1"));
}

void FormStart::createControls(QWidget* client) {
    demo::createControls(kLayout, client);
    applyTabOrder(kLayout, client);
    setPicture(image1(), QPixmap(QStringLiteral(":/pictures/printer.jpg")), true);

    for (qint16 index : {qint16(0), qint16(1)}) {
        connect(option1(index), &QRadioButton::clicked, this, [this, index] { option1Click(index); });
    }
    connect(cmdGo(), &QPushButton::clicked, this, &FormStart::cmdGoClick);
    connect(cmdExit(), &QPushButton::clicked, this, &FormStart::cmdExitClick);

    // The component lives and dies with the controls. Its PrintingPage goes unheard.
    auto* component = new zendrik::Zendrik(startWindowProperties(), client);
    component->setObjectName(QStringLiteral("Zendrik1"));
    connect(component, &zendrik::Zendrik::PrintComplete, this, &FormStart::zendrik1PrintComplete);
    connect(component, &zendrik::Zendrik::PrintError, this, &FormStart::zendrik1PrintError);
}

void FormStart::onLoad() {
    CenterForm(*this);
    option1Click(0);
}

void FormStart::option1Click(qint16 index) {
    if (index == 0 || index == 1) {
        label1()->setText(description(index));
    }
}

void FormStart::cmdGoClick() {
    if (option1(0)->isChecked()) {
        runSimpleDemonstration();
    } else {
        runAdvancedDemonstration();
    }
}

void FormStart::runSimpleDemonstration() {
    const int answer =
        MessageBox::show(QStringLiteral("Is your printer ready to print!"), kYesNo | kExclamation, kTitle);
    if (answer == kAnswerNo) {
        return;
    }
    zendrik::Zendrik& component = zendrik1();
    component.setDocTitle(kTitle);
    component.setDocText(demonstrationText());
    component.PrintDoc();
}

void FormStart::runAdvancedDemonstration() {
    demo::window<FormMain>().showForm();
    unloadForm();
}

void FormStart::cmdExitClick() {
    unloadForm();
}

void FormStart::zendrik1PrintComplete() {
    MessageBox::show(QStringLiteral("Printing completed!"), kOkOnly | kExclamation, kTitle,
                     savedAsText(savedPdfPath(zendrik1())));
}

void FormStart::zendrik1PrintError(qint32, const QString& description) {
    MessageBox::show(QStringLiteral("Print error!"), kOkOnly | kExclamation, kTitle, description);
}

} // namespace demo
