// The start window: its layout, its state after a load, the descriptions, the simple
// demonstration (really printed into a PDF), the hand-over to the advanced window and "Exit".

#include "FormMain/FormMain.h"
#include "FormStart/FormStart.h"
#include "application.h"
#include "messagebox.h"
#include "twips.h"
#include "windowregistry.h"

#include "demotext.h"
#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <vector>

using namespace demo;

namespace {

const QColor kMaroon(128, 0, 0);

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString captionOf(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (auto* box = qobject_cast<const QGroupBox*>(widget)) {
        return box->title();
    }
    return {};
}

// Records whether the start window was still loaded when the advanced window appeared.
class ShowWatcher : public QObject {
public:
    bool seen = false;
    bool startLoadedThen = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show && !seen) {
            seen = true;
            startLoadedThen = window<FormStart>().isLoaded();
        }
        return false;
    }
};

} // namespace

class FormStartTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowFrame();
    void controls_data();
    void controls();
    void tabOrder();
    void noDefaultOrCancelButton();
    void pictures();

    void stateAfterLoad();
    void freshLoadForgetsTheChoice();
    void descriptions();
    void descriptionWrapsInsideTheLabel();
    void optionClickOutsideTheArrayChangesNothing();

    void simpleDemonstrationPrints();
    void simpleDemonstrationDeclined();
    void simpleDemonstrationFails();
    void printEvents();

    void advancedDemonstrationHandsOver();
    void exitEndsTheApplication_data();
    void exitEndsTheApplication();

private:
    QTemporaryDir pdfDir_;
    std::vector<int> exits_;
};

void FormStartTest::initTestCase() {
    QVERIFY(pdfDir_.isValid());
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(pdfDir_.path()));
    // No printers: the simple demonstration prints through "Save as PDF".
    qputenv("CUPS_SERVER", QFile::encodeName(pdfDir_.filePath(QStringLiteral("no-cups.sock"))));
    prepareApplication();
}

void FormStartTest::init() {
    exits_.clear();
    WindowRegistry::instance().setExitFunction([this](int status) { exits_.push_back(status); });
    MessageBox::setUnattended(true);
    MessageBox::clearHistory();
}

void FormStartTest::cleanup() {
    WindowRegistry::instance().destroyAll();
    QDir(pdfDir_.path()).removeRecursively();
    QDir().mkpath(pdfDir_.path());
}

void FormStartTest::windowFrame() {
    FormStart& form = window<FormStart>();
    form.showForm();
    QCOMPARE(form.windowTitle(), QStringLiteral("Orvanel Demo"));
    QVERIFY(!form.windowIcon().isNull());
    const QSize client(twipsToPixels(4710), twipsToPixels(3825));
    QCOMPARE(client, QSize(314, 255));
    QCOMPARE(form.size(), client);
    QCOMPARE(form.client()->size(), client);
    QCOMPARE(form.minimumSize(), client);
    QCOMPARE(form.maximumSize(), client);
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!form.parentWidget());
}

void FormStartTest::controls_data() {
    QTest::addColumn<int>("row");
    const auto layout = FormStart::layout();
    for (int i = 0; i < int(layout.size()); ++i) {
        QTest::newRow(qPrintable(layout[i].name)) << i;
    }
}

// Every row of the layout table against the live widget.
void FormStartTest::controls() {
    QFETCH(int, row);
    const ControlSpec& spec = FormStart::layout()[row];
    FormStart& form = window<FormStart>();
    form.ensureLoaded();

    QWidget* widget = form.client()->findChild<QWidget*>(spec.name);
    QVERIFY(widget);
    QWidget* container = spec.container.isEmpty() ? form.client() : form.client()->findChild<QWidget*>(spec.container);
    QCOMPARE(widget->parentWidget(), container);
    QCOMPARE(widget->geometry(), twipsToPixelRect(spec.left, spec.top, spec.width, spec.height));

    // The load step has replaced Label1's design-time caption.
    const QString caption = spec.name == QLatin1String("Label1") ? FormStart::description(0) : spec.caption;
    QCOMPARE(captionOf(widget), caption);
    QVERIFY(!caption.contains(QLatin1Char('&')));

    if (spec.kind != ControlKind::Image && spec.kind != ControlKind::Frame) {
        const QFontInfo font(widget->font());
        QCOMPARE(font.family(), QStringLiteral("Tahoma"));
        QCOMPARE(widget->font().pointSizeF(), 8.25);
        QCOMPARE(font.bold(), spec.font.bold);
    }
    if (spec.name == QLatin1String("Frame2")) {
        QCOMPARE(QFontInfo(widget->font()).family(), QStringLiteral("Tahoma"));
    }
    const bool maroon = spec.name.startsWith(QLatin1String("Option1")) || spec.name == QLatin1String("Label1");
    QCOMPARE(spec.foreground.has_value(), maroon);
    QCOMPARE(widget->palette().color(QPalette::WindowText) == kMaroon, maroon);
    if (spec.kind == ControlKind::OptionButton) {
        QCOMPARE(qobject_cast<QRadioButton*>(widget)->isChecked(), spec.name == QLatin1String("Option1(0)"));
    }
    if (spec.kind == ControlKind::Label) {
        QVERIFY(!widget->autoFillBackground());
    }
    // Captions are not cut off.
    if (spec.kind == ControlKind::OptionButton) {
        QVERIFY2(widget->sizeHint().width() <= widget->width(), qPrintable(spec.name));
    }
    if (spec.kind == ControlKind::CommandButton) {
        QVERIFY2(widget->fontMetrics().horizontalAdvance(caption) + 8 <= widget->width(), qPrintable(spec.name));
    }
    if (spec.kind == ControlKind::OptionButton || spec.kind == ControlKind::CommandButton) {
        QVERIFY2(widget->fontMetrics().height() <= widget->height(), qPrintable(spec.name));
    }
    const bool takesFocus = spec.kind == ControlKind::OptionButton || spec.kind == ControlKind::CommandButton;
    QCOMPARE(widget->focusPolicy() != Qt::NoFocus, takesFocus);
}

void FormStartTest::tabOrder() {
    FormStart& form = window<FormStart>();
    form.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.option1(0)->setFocus();
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, (QStringList{QStringLiteral("Option1(0)"), QStringLiteral("cmdGo"), QStringLiteral("cmdExit"),
                                   QStringLiteral("Option1(0)"), QStringLiteral("cmdGo")}));

    // Backwards from the first command button lands on the chosen option.
    QTest::mouseClick(form.option1(1), Qt::LeftButton);
    form.cmdGo()->setFocus();
    QTest::keyClick(form.cmdGo(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), form.option1(1));
}

void FormStartTest::noDefaultOrCancelButton() {
    FormStart& form = window<FormStart>();
    form.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    for (QPushButton* button : form.client()->findChildren<QPushButton*>()) {
        QVERIFY(!button->isDefault());
    }
    QSignalSpy goClicks(form.cmdGo(), &QPushButton::clicked);
    QSignalSpy exitClicks(form.cmdExit(), &QPushButton::clicked);

    // Enter on an option button and Esc anywhere click nothing.
    form.option1(0)->setFocus();
    QTest::keyClick(form.option1(0), Qt::Key_Return);
    QTest::keyClick(form.option1(0), Qt::Key_Escape);
    form.cmdGo()->setFocus();
    QTest::keyClick(form.cmdGo(), Qt::Key_Escape);
    QCOMPARE(goClicks.count(), 0);
    QCOMPARE(exitClicks.count(), 0);
    QVERIFY(form.isVisible());

    // Enter clicks the focused button only.
    MessageBox::queueAnswer(kAnswerNo);
    QTest::keyClick(form.cmdGo(), Qt::Key_Return);
    QCOMPARE(goClicks.count(), 1);
    QCOMPARE(exitClicks.count(), 0);
}

void FormStartTest::pictures() {
    FormStart& form = window<FormStart>();
    const QPixmap photo = form.image1()->pixmap();
    QCOMPARE(photo.size(), QSize(100, 70));
    QCOMPARE(form.image1()->contentsRect(), QRect(2, 2, 100, 70));
    for (const char* name : {":/pictures/printer.jpg", ":/pictures/printer-lit.jpg"}) {
        QCOMPARE(QImage(QString::fromLatin1(name)).size(), QSize(100, 70));
    }
    for (const char* name : {":/pictures/printer-icon.png", ":/pictures/printer-glyph.gif"}) {
        const QImage icon(QString::fromLatin1(name));
        QCOMPARE(icon.size(), QSize(32, 32));
        QSet<QRgb> colours;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                colours.insert(icon.pixel(x, y));
            }
        }
        QVERIFY2(colours.size() <= 16, qPrintable(QString::number(colours.size())));
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(icon.pixel(16, 20)), 255);
    }
}

void FormStartTest::stateAfterLoad() {
    FormStart& form = window<FormStart>();
    form.ensureLoaded();
    QVERIFY(form.option1(0)->isChecked());
    QVERIFY(!form.option1(1)->isChecked());
    QCOMPARE(form.label1()->text(), FormStart::description(0));

    // Centred on the screen by the load step, in twips; the window lands on the nearest pixel.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form.Left(), (screen.width() * 15.f - form.Width()) / 2);
    QCOMPARE(form.Top(), (screen.height() * 15.f - form.Height()) / 2);
    form.showForm();
    QCOMPARE(form.frameGeometry().topLeft(),
             QPoint(int(std::lround(form.Left() / 15)), int(std::lround(form.Top() / 15))));
}

void FormStartTest::freshLoadForgetsTheChoice() {
    FormStart& form = window<FormStart>();
    form.showForm();
    QTest::mouseClick(form.option1(1), Qt::LeftButton);
    QVERIFY(form.option1(1)->isChecked());
    QCOMPARE(form.label1()->text(), FormStart::description(1));

    form.unloadForm();
    form.showForm();
    QVERIFY(form.option1(0)->isChecked());
    QVERIFY(!form.option1(1)->isChecked());
    QCOMPARE(form.label1()->text(), FormStart::description(0));
}

void FormStartTest::descriptions() {
    FormStart& form = window<FormStart>();
    form.showForm();
    const QByteArray simple = "This example shows how you can easily print a document with only 3 lines of code!\r\n"
                              "\r\n"
                              "    Zendrik1.DocTitle = Orvanel Demo\r\n"
                              "    Zendrik1.DocText = Orvanel greatly simplifies \r\n"
                              "            printing documents from VB applications!\r\n"
                              "    Zendrik1.PrintDoc";
    const QByteArray advanced = "This example shows all the advanced features of Orvanel where you can see how "
                                "Orvanel can give you full control over every printer setting and document setting!";

    QCOMPARE(form.label1()->text().toUtf8(), simple);
    QTest::mouseClick(form.option1(1), Qt::LeftButton);
    QCOMPARE(form.label1()->text().toUtf8(), advanced);
    QTest::mouseClick(form.option1(0), Qt::LeftButton);
    QCOMPARE(form.label1()->text().toUtf8(), simple);
}

void FormStartTest::descriptionWrapsInsideTheLabel() {
    FormStart& form = window<FormStart>();
    QLabel* label = form.label1();
    QVERIFY(label->wordWrap());
    // Six lines, the first of them wrapped once, all inside the label.
    const int lineHeight = label->fontMetrics().lineSpacing();
    const int needed = label->heightForWidth(label->width());
    QVERIFY2(needed >= 7 * lineHeight, qPrintable(QString::number(needed)));
    QVERIFY2(needed <= label->height(), qPrintable(QString::number(needed)));
}

void FormStartTest::optionClickOutsideTheArrayChangesNothing() {
    FormStart& form = window<FormStart>();
    form.showForm();
    for (qint16 index : {qint16(-1), qint16(2), qint16(32767)}) {
        form.option1Click(index);
        QCOMPARE(form.label1()->text(), FormStart::description(0));
    }
    form.option1Click(1);
    QCOMPARE(form.label1()->text(), FormStart::description(1));
    QVERIFY(form.option1(0)->isChecked());
}

void FormStartTest::simpleDemonstrationPrints() {
    FormStart& form = window<FormStart>();
    form.showForm();
    zendrik::Zendrik& component = form.zendrik1();
    QSignalSpy members(&component, &zendrik::Zendrik::memberChanged);
    QSignalSpy prints(&component, &zendrik::Zendrik::printRequested);
    QSignalSpy completions(&component, &zendrik::Zendrik::PrintComplete);
    // Both kinds of call, in one sequence.
    QStringList calls;
    connect(&component, &zendrik::Zendrik::memberChanged, this,
            [&calls](quint32 id, int, const QVariant&) { calls << QString::number(id, 16); });
    connect(&component, &zendrik::Zendrik::printRequested, this, [&calls] { calls << QStringLiteral("PrintDoc"); });

    MessageBox::queueAnswer(kAnswerYes);
    QTest::mouseClick(form.cmdGo(), Qt::LeftButton);

    const auto question = MessageBox::history();
    QCOMPARE(question.size(), 1);
    QCOMPARE(question[0].text, QStringLiteral("Is your printer ready to print!"));
    QCOMPARE(question[0].style, 52);
    QCOMPARE(question[0].title, QStringLiteral("Orvanel Demo"));

    QCOMPARE(calls, (QStringList{QString::number(zendrik::MemberId::DocTitle, 16),
                                 QString::number(zendrik::MemberId::DocText, 16), QStringLiteral("PrintDoc")}));
    QCOMPARE(members[0][2].toString(), QStringLiteral("Orvanel Demo"));
    QCOMPARE(members[1][2].toString(), demo::demonstrationText());
    QCOMPARE(prints.count(), 1);
    // No printer named: the default one.
    QCOMPARE(prints[0][0].toString(), QString());

    // The window stays as it was while the job runs.
    QVERIFY(form.isVisible());
    QVERIFY(form.option1(0)->isChecked());

    QVERIFY(completions.wait(30000));
    QTRY_COMPARE(MessageBox::history().size(), 2);
    const MessageRecord done = MessageBox::history()[1];
    QCOMPARE(done.text, QStringLiteral("Printing completed!"));
    QCOMPARE(done.style, 48);
    QCOMPARE(done.title, QStringLiteral("Orvanel Demo"));

    const QStringList pdfs = QDir(pdfDir_.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    QCOMPARE(pdfs.size(), 1);
    const QString pdf = pdfDir_.filePath(pdfs[0]);
    // Where the document went.
    QCOMPARE(done.informativeText, QStringLiteral("Saved as ") + QDir::toNativeSeparators(pdf));
    const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY2(text.contains(QStringLiteral("Orvanel Demo")), qPrintable(text.left(500)));
    QVERIFY2(text.contains(QStringLiteral("Orvanel is a 32-bit ActiveX (OCX) control")), qPrintable(text.left(500)));
    QVERIFY(text.contains(QStringLiteral("'Zendrik1'")));
    // The stored design-time fonts of this window's instance, not the component's defaults.
    const QString fonts = run(QStringLiteral("pdffonts"), {pdf});
    QVERIFY2(fonts.contains(QStringLiteral("Tahoma")), qPrintable(fonts));

    // It can run again at once.
    MessageBox::queueAnswer(kAnswerYes);
    QTest::mouseClick(form.cmdGo(), Qt::LeftButton);
    QCOMPARE(prints.count(), 2);
    QVERIFY(completions.wait(30000));
}

void FormStartTest::simpleDemonstrationDeclined() {
    FormStart& form = window<FormStart>();
    form.showForm();
    QSignalSpy members(&form.zendrik1(), &zendrik::Zendrik::memberChanged);
    QSignalSpy prints(&form.zendrik1(), &zendrik::Zendrik::printRequested);

    MessageBox::queueAnswer(kAnswerNo);
    QTest::mouseClick(form.cmdGo(), Qt::LeftButton);
    QTest::qWait(100);

    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(members.count(), 0);
    QCOMPARE(prints.count(), 0);
    QCOMPARE(form.zendrik1().DocTitle(), QString());
    QVERIFY(QDir(pdfDir_.path()).entryList(QDir::Files).isEmpty());
    QVERIFY(form.isVisible());
}

// "Save as PDF" into a folder that does not exist: the failure is reported with its reason.
void FormStartTest::simpleDemonstrationFails() {
    FormStart& form = window<FormStart>();
    form.showForm();
    QSignalSpy errors(&form.zendrik1(), &zendrik::Zendrik::PrintError);
    const QString missing = pdfDir_.filePath(QStringLiteral("no such folder"));
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(missing));
    MessageBox::queueAnswer(kAnswerYes);
    QTest::mouseClick(form.cmdGo(), Qt::LeftButton);
    const bool failed = errors.wait(30000);
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(pdfDir_.path()));
    QVERIFY(failed);

    QTRY_COMPARE(MessageBox::history().size(), 2);
    const MessageRecord report = MessageBox::history()[1];
    QCOMPARE(report.text, QStringLiteral("Print error!"));
    QCOMPARE(report.style, 48);
    QCOMPARE(report.title, QStringLiteral("Orvanel Demo"));
    QCOMPARE(report.informativeText, errors[0][1].toString());
    QVERIFY2(report.informativeText.contains(QStringLiteral("no such folder")), qPrintable(report.informativeText));
    QVERIFY(form.isVisible());
}

void FormStartTest::printEvents() {
    FormStart& form = window<FormStart>();
    form.showForm();
    zendrik::Zendrik& component = form.zendrik1();

    emit component.PrintingPage(1);
    QVERIFY(MessageBox::history().isEmpty());
    emit component.PrintError(qint32(zendrik::ErrorCode::OutputFailed), QStringLiteral("disk full"));
    QVERIFY(form.isVisible());
    QCOMPARE(form.label1()->text(), FormStart::description(0));

    emit component.PrintComplete();
    const auto history = MessageBox::history();
    QCOMPARE(history.size(), 2);
    QCOMPARE(history[0].text, QStringLiteral("Print error!"));
    QCOMPARE(history[0].informativeText, QStringLiteral("disk full"));
    QCOMPARE(history[1].text, QStringLiteral("Printing completed!"));
    QCOMPARE(history[1].style, 48);
    QCOMPARE(history[1].title, QStringLiteral("Orvanel Demo"));
    // No job has written a file.
    QCOMPARE(history[1].informativeText, QString());
    QVERIFY(form.isVisible());
}

void FormStartTest::advancedDemonstrationHandsOver() {
    FormStart& start = window<FormStart>();
    start.showForm();
    FormMain& advanced = window<FormMain>();
    ShowWatcher watcher;
    advanced.installEventFilter(&watcher);

    QTest::mouseClick(start.option1(1), Qt::LeftButton);
    QTest::mouseClick(start.cmdGo(), Qt::LeftButton);

    QVERIFY(watcher.seen);
    QVERIFY(watcher.startLoadedThen);
    QVERIFY(advanced.isVisible());
    QVERIFY(!start.isLoaded());
    QTest::qWait(50);
    QVERIFY(exits_.empty());

    // Coming back finds a freshly loaded start window.
    start.showForm();
    QVERIFY(start.option1(0)->isChecked());
    QCOMPARE(start.label1()->text(), FormStart::description(0));
    advanced.removeEventFilter(&watcher);
}

void FormStartTest::exitEndsTheApplication_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Exit") << false;
    QTest::newRow("close box") << true;
}

void FormStartTest::exitEndsTheApplication() {
    QFETCH(bool, closeBox);
    FormStart& form = window<FormStart>();
    form.showForm();
    if (closeBox) {
        QVERIFY(form.close());
    } else {
        QTest::mouseClick(form.cmdExit(), Qt::LeftButton);
    }
    QVERIFY(!form.isLoaded());
    QTRY_COMPARE(exits_, std::vector<int>{0});
}

QTEST_MAIN(FormStartTest)
#include "tst_formstart.moc"
