#include "FormStatus/FormStatus.h"

#include "FormMain/FormMain.h"
#include "centerform.h"
#include "savedpdf.h"
#include "twips.h"
#include "windowregistry.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <vector>

namespace demo {
namespace {

const QString kPictures = QStringLiteral(":/pictures/");

std::vector<ControlSpec> buildLayout() {
    ControlSpec label{QStringLiteral("Label1"),
                      ControlKind::Label,
                      QStringLiteral("Frame1"),
                      QStringLiteral("Now Printing Page: x"),
                      315,
                      1320,
                      1725,
                      195,
                      1};
    label.font.bold = true;
    label.foreground = QColor(128, 0, 0);
    label.autoSize = true;
    return {
        {QStringLiteral("Frame1"), ControlKind::Frame, {}, {}, 60, 0, 2355, 1635, 0},
        label,
        {QStringLiteral("Command1"), ControlKind::CommandButton, {}, QStringLiteral("OK"), 840, 1710, 795, 345, 2},
        {QStringLiteral("Image1(0)"), ControlKind::Image, QStringLiteral("Frame1"), {}, 420, 180, 1560, 1110},
        // The two animation frames lie below the client area, out of sight.
        {QStringLiteral("Image1(1)"), ControlKind::Image, {}, {}, 1650, 2520, 1500, 1050},
        {QStringLiteral("Image1(2)"), ControlKind::Image, {}, {}, 60, 2520, 1500, 1050},
    };
}

// The progress text takes the size of its caption and stays centred in the frame, as designed.
void centreInFrame(QLabel* label) {
    label->resize(label->sizeHint());
    label->move((label->parentWidget()->width() - label->width()) / 2, label->y());
}

} // namespace

FormStatus::FormStatus() : Form(QStringLiteral("FormStatus")) {
    setWindowTitle(QStringLiteral("Print Progress..."));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setClientSizeTwips(2490, 2100);
    setFixedSize(twipsToPixels(2490), twipsToPixels(2100));
}

FormStatus::~FormStatus() = default;

std::span<const ControlSpec> FormStatus::layoutTable() {
    static const std::vector<ControlSpec> table = buildLayout();
    return table;
}

QLabel* FormStatus::Label1() {
    return control<QLabel>(QStringLiteral("Label1"));
}

QTimer* FormStatus::Timer1() {
    return control<QTimer>(QStringLiteral("Timer1"));
}

QLabel* FormStatus::Image1(int index) {
    return control<QLabel>(QStringLiteral("Image1(%1)").arg(index));
}

QPushButton* FormStatus::Command1() {
    return control<QPushButton>(QStringLiteral("Command1"));
}

void FormStatus::setLabel1Caption(const QString& caption) {
    QLabel* label = Label1();
    label->setText(caption);
    centreInFrame(label);
}

void FormStatus::showSavedFile(const QString& path) {
    const QString tip = savedAsText(path);
    Label1()->setToolTip(tip);
    control<QWidget>(QStringLiteral("Frame1"))->setToolTip(tip);
}

void FormStatus::createControls(QWidget* client) {
    const auto table = layoutTable();
    demo::createControls(table, client);

    QLabel* label = Label1();
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    centreInFrame(label);

    QPushButton* ok = Command1();
    ok->setFont(font());
    connect(ok, &QPushButton::clicked, this, &FormStatus::command1Click);

    const QPixmap unlit(kPictures + QStringLiteral("printer.jpg"));
    const QPixmap lit(kPictures + QStringLiteral("printer-lit.jpg"));
    setPicture(Image1(0), unlit, true);
    Image1(1)->setPixmap(lit);
    Image1(2)->setPixmap(unlit);

    auto* timer = new QTimer(client);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(500);
    connect(timer, &QTimer::timeout, this, &FormStatus::timer1Tick);

    applyTabOrder(table, client);
}

void FormStatus::onLoad() {
    CenterForm(*this);
    Timer1()->start();
}

void FormStatus::onUnload() {
    demo::window<FormMain>().showForm();
}

bool FormStatus::event(QEvent* event) {
    const bool handled = Form::event(event);
    if (event->type() == QEvent::WindowActivate && isLoaded()) {
        QCoreApplication::processEvents();
    }
    return handled;
}

void FormStatus::timer1Tick() {
    Image1(0)->setPixmap(Image1(frameFlag_ ? 1 : 2)->pixmap());
    QCoreApplication::processEvents();
    // Only the flag is touched after the events: the window may have been unloaded meanwhile.
    frameFlag_ = !frameFlag_;
}

void FormStatus::command1Click() {
    Timer1()->stop();
    unloadForm();
}

} // namespace demo
