// The progress window: layout, load step, the blinking picture and its frame flag, the activation
// step, and how closing it brings the advanced window back.

#include "advancedwindowfixture.h"

#include "FormStatus/FormStatus.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

using namespace demo;

namespace {

FormStatus& status() {
    return window<FormStatus>();
}

qint64 pictureOf(QLabel* image) {
    return image->pixmap().cacheKey();
}

} // namespace

class TestFormStatus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { fixture::prepare(); }
    void init() { fixture::reset(); }
    void cleanupTestCase() { fixture::reset(); }

    void controlsFollowTheLayoutTable();
    void windowProperties();
    void designTimeState();
    void loadStep();
    void framesAlternate();
    void frameFlagSurvivesUnload();
    void tickAfterUnloadInsideEvents();
    void captionStaysCentred_data();
    void captionStaysCentred();
    void activationProcessesPendingEvents();
    void okStopsAndUnloads();
    void closeBoxUnloads();
    void reloadShowsDesignTimeState();
};

void TestFormStatus::controlsFollowTheLayoutTable() {
    FormStatus& form = status();
    form.ensureLoaded();
    for (const ControlSpec& spec : FormStatus::layoutTable()) {
        const QByteArray name = spec.name.toUtf8();
        QWidget* widget = fixture::find<QWidget>(form, spec.name);
        const QString container =
            widget->parentWidget() == form.client() ? QString() : widget->parentWidget()->objectName();
        QCOMPARE(container, spec.container);
        QVERIFY2(widget->y() == twipsToPixels(spec.top), name);
        if (!spec.autoSize) {
            QVERIFY2(widget->geometry() == twipsToPixelRect(spec.left, spec.top, spec.width, spec.height), name);
        }
    }
    // Hand-worked places.
    QCOMPARE(fixture::find<QWidget>(form, "Frame1")->geometry(), QRect(4, 0, 157, 109));
    QCOMPARE(fixture::find<QWidget>(form, "Command1")->geometry(), QRect(56, 114, 53, 23));
    QCOMPARE(fixture::find<QWidget>(form, "Image1(0)")->geometry(), QRect(28, 12, 104, 74));
    QCOMPARE(fixture::find<QWidget>(form, "Label1")->y(), 88);
    // The animation frames lie below the client area.
    QVERIFY(fixture::find<QWidget>(form, "Image1(1)")->y() >= form.client()->height());
    QVERIFY(fixture::find<QWidget>(form, "Image1(2)")->y() >= form.client()->height());
}

void TestFormStatus::windowProperties() {
    FormStatus& form = status();
    form.ensureLoaded();
    QCOMPARE(form.windowTitle(), QStringLiteral("Print Progress..."));
    QCOMPARE(form.client()->size(), QSize(166, 140));
    QCOMPARE(form.minimumSize(), QSize(166, 140));
    QCOMPARE(form.maximumSize(), QSize(166, 140));
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    auto* ok = form.Command1();
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(!ok->isDefault());
    // The only control that takes the focus.
    for (QWidget* widget : form.client()->findChildren<QWidget*>()) {
        QCOMPARE(widget->focusPolicy() != Qt::NoFocus, widget == ok);
    }

    QLabel* label = form.Label1();
    QCOMPARE(label->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(label->font().pointSizeF(), 8.25);
    QVERIFY(label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
}

void TestFormStatus::designTimeState() {
    FormStatus& form = status();
    form.ensureLoaded();
    QCOMPARE(form.Label1()->text(), QStringLiteral("Now Printing Page: x"));
    QVERIFY(!form.Image1(0)->pixmap().isNull());
    QCOMPARE(form.Image1(0)->pixmap().size(), QSize(100, 70));
    QCOMPARE(form.Image1(0)->frameWidth(), 2);
    QCOMPARE(form.Image1(0)->contentsRect().size(), QSize(100, 70));
    QCOMPARE(pictureOf(form.Image1(0)), pictureOf(form.Image1(2)));
    QVERIFY(pictureOf(form.Image1(1)) != pictureOf(form.Image1(2)));
    QCOMPARE(form.Image1(1)->pixmap().size(), QSize(100, 70));
    // Same picture but for the lit display.
    QVERIFY(form.Image1(1)->pixmap().toImage() != form.Image1(2)->pixmap().toImage());
    QCOMPARE(form.Timer1()->interval(), 500);
}

void TestFormStatus::loadStep() {
    FormStatus& form = status();
    form.ensureLoaded();
    QVERIFY(form.Timer1()->isActive());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form.Left(), (screen.width() * 15 - form.Width()) / 2);
    QCOMPARE(form.Top(), (screen.height() * 15 - form.Height()) / 2);
    QVERIFY(!form.isVisible());
}

void TestFormStatus::framesAlternate() {
    FormStatus& form = status();
    form.showForm();
    const qint64 unlit = pictureOf(form.Image1(2));
    const qint64 lit = pictureOf(form.Image1(1));
    QVERIFY(!form.frameFlag());
    // The first tick after creation shows what is already shown; the second is the first change.
    const QList<qint64> expected = {unlit, lit, unlit, lit, unlit};
    for (int tick = 0; tick < expected.size(); ++tick) {
        form.timer1Tick();
        QCOMPARE(pictureOf(form.Image1(0)), expected.at(tick));
        QCOMPARE(form.frameFlag(), tick % 2 == 0);
    }
}

void TestFormStatus::frameFlagSurvivesUnload() {
    FormStatus& form = status();
    form.showForm();
    form.timer1Tick();
    QVERIFY(form.frameFlag());
    form.command1Click();
    QVERIFY(!form.isLoaded());
    QVERIFY(form.frameFlag());

    form.showForm();
    QCOMPARE(pictureOf(form.Image1(0)), pictureOf(form.Image1(2)));
    form.timer1Tick();
    QCOMPARE(pictureOf(form.Image1(0)), pictureOf(form.Image1(1)));
}

void TestFormStatus::tickAfterUnloadInsideEvents() {
    FormStatus& form = status();
    form.showForm();
    // The window goes away while the tick processes pending events; only the flag changes after.
    QTimer::singleShot(0, &form, [&form] { form.command1Click(); });
    form.timer1Tick();
    QVERIFY(!form.isLoaded());
    QVERIFY(form.frameFlag());
    QVERIFY(window<FormMain>().isVisible());
}

void TestFormStatus::captionStaysCentred_data() {
    QTest::addColumn<QString>("caption");
    QTest::newRow("page") << "Now Printing Page: 12";
    QTest::newRow("long") << "Now Printing Page: 2147483647";
    QTest::newRow("complete") << "Print Complete!";
}

void TestFormStatus::captionStaysCentred() {
    QFETCH(QString, caption);
    FormStatus& form = status();
    form.showForm();
    QLabel* label = form.Label1();
    const int top = label->y();
    form.setLabel1Caption(caption);
    QCOMPARE(label->text(), caption);
    QCOMPARE(label->size(), label->sizeHint());
    QCOMPARE(label->y(), top);
    const int frameCentre = label->parentWidget()->width() / 2;
    QVERIFY2(std::abs(label->geometry().center().x() - frameCentre) <= 1,
             qPrintable(QStringLiteral("%1 vs %2").arg(label->geometry().center().x()).arg(frameCentre)));
}

void TestFormStatus::activationProcessesPendingEvents() {
    FormStatus& form = status();
    form.ensureLoaded();
    bool ran = false;
    QTimer::singleShot(0, &form, [&ran] { ran = true; });
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&form, &activate);
    QVERIFY(ran);
}

void TestFormStatus::okStopsAndUnloads() {
    FormStatus& form = status();
    form.showForm();
    QTimer* timer = form.Timer1();
    bool stoppedBeforeUnload = false;
    QObject::connect(form.Label1(), &QObject::destroyed, [&] { stoppedBeforeUnload = !timer->isActive(); });
    QTest::mouseClick(form.Command1(), Qt::LeftButton);
    QVERIFY(stoppedBeforeUnload);
    QVERIFY(!form.isLoaded());
    QVERIFY(window<FormMain>().isVisible());
    fixture::settle();
    QCOMPARE(fixture::endRecorder().ends, 0);
}

void TestFormStatus::closeBoxUnloads() {
    FormStatus& form = status();
    form.showForm();
    QVERIFY(form.close());
    QVERIFY(!form.isLoaded());
    QVERIFY(!form.isVisible());
    QVERIFY(window<FormMain>().isVisible());
    fixture::settle();
    QCOMPARE(fixture::endRecorder().ends, 0);
}

void TestFormStatus::reloadShowsDesignTimeState() {
    FormStatus& form = status();
    form.showForm();
    form.setLabel1Caption(QStringLiteral("Print Complete!"));
    form.Timer1()->stop();
    form.timer1Tick();
    form.timer1Tick();
    QCOMPARE(pictureOf(form.Image1(0)), pictureOf(form.Image1(1)));
    form.command1Click();

    form.showForm();
    QCOMPARE(form.Label1()->text(), QStringLiteral("Now Printing Page: x"));
    QCOMPARE(pictureOf(form.Image1(0)), pictureOf(form.Image1(2)));
    QVERIFY(form.Timer1()->isActive());
}

QTEST_MAIN(TestFormStatus)
#include "tst_formstatus.moc"
