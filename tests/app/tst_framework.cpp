// The window framework: the single-instance registry, loading and unloading, CenterForm, the
// message-box helper and the rule that ends the application.

#include "application.h"
#include "centerform.h"
#include "layouttable.h"
#include "messagebox.h"
#include "windowregistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace demo;

namespace {

const std::array<ControlSpec, 2> kProbeLayout{{
    {QStringLiteral("Frame1"), ControlKind::Frame, {}, QStringLiteral("Box"), 0, 0, 1500, 900, 0},
    {QStringLiteral("Label1"), ControlKind::Label, QStringLiteral("Frame1"), QStringLiteral("Design"), 60, 240, 1200,
     300, 1},
}};

// A window with one label, counting its load and unload steps in members (which outlive unloads).
class ProbeForm : public Form {
public:
    ProbeForm() : Form(QStringLiteral("ProbeForm")) { setClientSizeTwips(1500, 900); }
    QLabel* label1() {
        ensureLoaded();
        return client()->findChild<QLabel*>(QStringLiteral("Label1"));
    }
    int loads = 0;
    int unloads = 0;
    QString note;

protected:
    void createControls(QWidget* client) override { demo::createControls(kProbeLayout, client); }
    void onLoad() override { ++loads; }
    void onUnload() override { ++unloads; }
};

class OtherForm : public ProbeForm {};

// Records every call CenterForm makes, window and screen alike, in one log.
struct CallLog {
    std::vector<std::string> calls;
};

class FakeScreen : public ScreenExtent {
public:
    FakeScreen(CallLog& log, float width, float height) : log_(log), width_(width), height_(height) {}
    float Width() const override {
        log_.calls.push_back("screen.Width");
        return width_;
    }
    float Height() const override {
        log_.calls.push_back("screen.Height");
        return height_;
    }

private:
    CallLog& log_;
    float width_;
    float height_;
};

class FakeWindow : public CenterableWindow {
public:
    FakeWindow(CallLog& log, float width, float height) : log_(log), width_(width), height_(height) {}
    float Width() const override {
        log_.calls.push_back("Width");
        return width_;
    }
    float Height() const override {
        log_.calls.push_back("Height");
        return height_;
    }
    void setLeft(float twips) override {
        log_.calls.push_back("setLeft");
        left = twips;
    }
    void setTop(float twips) override {
        log_.calls.push_back("setTop");
        top = twips;
    }
    float left = 111;
    float top = 222;

private:
    CallLog& log_;
    float width_;
    float height_;
};

} // namespace

class FrameworkTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowsAreCreatedOnFirstUse();
    void showingAnUnloadedWindowLoadsIt();
    void controlAccessLoadsHidden();
    void unloadDestroysControlsAndKeepsMembers();
    void hideKeepsTheWindowLoaded();
    void closeBoxUnloads();
    void controlLookup_data();
    void controlLookup();

    void centerForm_data();
    void centerForm();
    void centerFormMovesLeftBeforeReadingHeight();
    void centerFormFloatingPointFaults_data();
    void centerFormFloatingPointFaults();

    void messageBoxUnattended_data();
    void messageBoxUnattended();
    void messageBoxInteractive_data();
    void messageBoxInteractive();

    void endsWhenNoWindowIsShown();
    void endsAlthoughAWindowIsLoadedHidden();
    void keepsRunningWhileAWindowIsShown();

    void fixedSizeLabelsWrap();
    void applicationSettings();

private:
    std::vector<int> exits_;
};

void FrameworkTest::init() {
    exits_.clear();
    WindowRegistry::instance().setExitFunction([this](int status) { exits_.push_back(status); });
    MessageBox::setUnattended(true);
    MessageBox::clearHistory();
}

void FrameworkTest::cleanup() {
    WindowRegistry::instance().destroyAll();
}

void FrameworkTest::windowsAreCreatedOnFirstUse() {
    auto& registry = WindowRegistry::instance();
    QVERIFY(!registry.exists<ProbeForm>());
    ProbeForm& first = window<ProbeForm>();
    QVERIFY(registry.exists<ProbeForm>());
    QVERIFY(!registry.exists<OtherForm>());
    QCOMPARE(&window<ProbeForm>(), &first);
    // Creating is not loading.
    QVERIFY(!first.isLoaded());
    QCOMPARE(first.loads, 0);
    // The instance outlives an unload.
    first.ensureLoaded();
    first.unloadForm();
    QCOMPARE(&window<ProbeForm>(), &first);
    QCOMPARE(registry.forms().size(), std::size_t(1));
}

void FrameworkTest::showingAnUnloadedWindowLoadsIt() {
    ProbeForm& form = window<ProbeForm>();
    form.showForm();
    QVERIFY(form.isLoaded());
    QVERIFY(form.isVisible());
    QCOMPARE(form.loads, 1);
    form.showForm();
    QCOMPARE(form.loads, 1);
    QVERIFY(!form.parentWidget());
    QVERIFY(!form.isModal());
}

void FrameworkTest::controlAccessLoadsHidden() {
    ProbeForm& form = window<ProbeForm>();
    QLabel* label = form.label1();
    QVERIFY(label);
    QVERIFY(form.isLoaded());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.loads, 1);
    QCOMPARE(label->text(), QStringLiteral("Design"));
}

void FrameworkTest::unloadDestroysControlsAndKeepsMembers() {
    ProbeForm& form = window<ProbeForm>();
    form.showForm();
    QPointer<QLabel> label = form.label1();
    label->setText(QStringLiteral("Changed"));
    form.note = QStringLiteral("kept");

    form.unloadForm();
    QCOMPARE(form.unloads, 1);
    QVERIFY(!form.isLoaded());
    QVERIFY(!form.isVisible());
    QVERIFY(label.isNull());
    QVERIFY(!form.findChild<QLabel*>(QStringLiteral("Label1")));

    // Unloading an unloaded window does nothing.
    form.unloadForm();
    QCOMPARE(form.unloads, 1);

    // A new load creates the controls with their design-time values; members stay.
    QCOMPARE(form.label1()->text(), QStringLiteral("Design"));
    QCOMPARE(form.loads, 2);
    QCOMPARE(form.note, QStringLiteral("kept"));
}

void FrameworkTest::hideKeepsTheWindowLoaded() {
    ProbeForm& form = window<ProbeForm>();
    form.hideForm();
    QVERIFY(form.isLoaded());
    form.showForm();
    form.hideForm();
    QVERIFY(form.isLoaded());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.loads, 1);
    QCOMPARE(form.unloads, 0);
}

void FrameworkTest::closeBoxUnloads() {
    ProbeForm& form = window<ProbeForm>();
    form.showForm();
    QVERIFY(form.close());
    QVERIFY(!form.isLoaded());
    QCOMPARE(form.unloads, 1);
}

void FrameworkTest::controlLookup_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("asButton");
    QTest::addColumn<QString>("error"); // empty: found

    QTest::newRow("label as label") << "Label1" << false << "";
    QTest::newRow("missing") << "Label2" << false << "ProbeForm has no control named Label2";
    QTest::newRow("label as button") << "Label1" << true
                                     << "control Label1 of ProbeForm is a QLabel, not a QAbstractButton";
    QTest::newRow("name of the window itself") << "ProbeForm" << false << "ProbeForm has no control named ProbeForm";
}

// Any lookup loads the window hidden; one that misses throws, whatever the build type.
void FrameworkTest::controlLookup() {
    QFETCH(QString, name);
    QFETCH(bool, asButton);
    QFETCH(QString, error);

    ProbeForm& form = window<ProbeForm>();
    try {
        QObject* found = asButton ? static_cast<QObject*>(form.control<QAbstractButton>(name))
                                  : static_cast<QObject*>(form.control<QLabel>(name));
        QVERIFY2(error.isEmpty(), "no error raised");
        QCOMPARE(found->objectName(), name);
    } catch (const ControlError& raised) {
        QCOMPARE(QString::fromStdString(raised.what()), error);
    }
    QVERIFY(form.isLoaded());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.loads, 1);
}

void FrameworkTest::centerForm_data() {
    QTest::addColumn<float>("screenWidth");
    QTest::addColumn<float>("screenHeight");
    QTest::addColumn<float>("windowWidth");
    QTest::addColumn<float>("windowHeight");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");

    QTest::newRow("smaller") << 19200.f << 14400.f << 4800.f << 3900.f << 7200.f << 5250.f;
    QTest::newRow("screen size") << 19200.f << 14400.f << 19200.f << 14400.f << 0.f << 0.f;
    QTest::newRow("larger") << 12000.f << 9000.f << 13515.f << 12150.f << -757.5f << -1575.f;
    QTest::newRow("half twips kept") << 12000.f << 9000.f << 4711.f << 3825.f << 3644.5f << 2587.5f;
}

void FrameworkTest::centerForm() {
    QFETCH(float, screenWidth);
    QFETCH(float, screenHeight);
    QFETCH(float, windowWidth);
    QFETCH(float, windowHeight);
    QFETCH(float, left);
    QFETCH(float, top);

    CallLog log;
    FakeWindow window(log, windowWidth, windowHeight);
    CenterForm(window, FakeScreen(log, screenWidth, screenHeight));
    QCOMPARE(window.left, left);
    QCOMPARE(window.top, top);
}

void FrameworkTest::centerFormMovesLeftBeforeReadingHeight() {
    CallLog log;
    FakeWindow window(log, 100, 100);
    CenterForm(window, FakeScreen(log, 1000, 1000));
    const auto& calls = log.calls;
    auto at = [&](const char* call) { return std::find(calls.begin(), calls.end(), call) - calls.begin(); };
    QCOMPARE(std::count(calls.begin(), calls.end(), "setLeft"), 1);
    QCOMPARE(std::count(calls.begin(), calls.end(), "setTop"), 1);
    QVERIFY(at("Width") < at("setLeft"));
    QVERIFY(at("screen.Width") < at("setLeft"));
    QVERIFY(at("setLeft") < at("Height"));
    QVERIFY(at("Height") < at("setTop"));
    QVERIFY(at("screen.Height") < at("setTop"));
}

void FrameworkTest::centerFormFloatingPointFaults_data() {
    QTest::addColumn<float>("screenWidth");
    QTest::addColumn<float>("screenHeight");
    QTest::addColumn<float>("windowWidth");
    QTest::addColumn<float>("windowHeight");
    QTest::addColumn<bool>("leftSet");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("width not a number") << 1000.f << 1000.f << nan << 100.f << false;
    QTest::newRow("infinite minus infinite") << inf << 1000.f << inf << 100.f << false;
    QTest::newRow("width overflows") << big << 1000.f << -big << 100.f << false;
    QTest::newRow("height not a number") << 1000.f << nan << 100.f << 100.f << true;
    QTest::newRow("height overflows") << 1000.f << -big << 100.f << big << true;
}

void FrameworkTest::centerFormFloatingPointFaults() {
    QFETCH(float, screenWidth);
    QFETCH(float, screenHeight);
    QFETCH(float, windowWidth);
    QFETCH(float, windowHeight);
    QFETCH(bool, leftSet);

    CallLog log;
    FakeWindow window(log, windowWidth, windowHeight);
    QVERIFY_THROWS_EXCEPTION(FloatingPointError, CenterForm(window, FakeScreen(log, screenWidth, screenHeight)));
    QCOMPARE(window.left, leftSet ? 450.f : 111.f);
    QCOMPARE(window.top, 222.f);
}

void FrameworkTest::messageBoxUnattended_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<int>>("queued");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<QString>("informative");

    QTest::newRow("OK, no title") << 0 << QString() << QList<int>{} << 1 << QStringLiteral("ZendrikDemo") << "";
    QTest::newRow("exclamation, with the reason") << 48 << QStringLiteral("Orvanel Demo") << QList<int>{} << 1
                                                  << QStringLiteral("Orvanel Demo") << "The queue refused the job";
    QTest::newRow("Yes/No defaults to Yes")
        << 52 << QStringLiteral("T") << QList<int>{} << 6 << QStringLiteral("T") << "";
    QTest::newRow("Yes/No answered No") << 4 << QString() << QList<int>{7} << 7 << QStringLiteral("ZendrikDemo") << "";
}

void FrameworkTest::messageBoxUnattended() {
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(QList<int>, queued);
    QFETCH(int, answer);
    QFETCH(QString, shownTitle);
    QFETCH(QString, informative);

    for (int a : queued) {
        MessageBox::queueAnswer(a);
    }
    QCOMPARE(MessageBox::show(QStringLiteral("Question?"), style, title, informative), answer);
    // A queued answer is used once; the next box gets its default again.
    QCOMPARE(MessageBox::show(QStringLiteral("Again"), style, title), (style & 4) ? 6 : 1);
    const auto history = MessageBox::history();
    QCOMPARE(history.size(), 2);
    QCOMPARE(history[0].text, QStringLiteral("Question?"));
    QCOMPARE(history[0].style, style);
    QCOMPARE(history[0].title, shownTitle);
    QCOMPARE(history[0].informativeText, informative);
    QCOMPARE(history[1].text, QStringLiteral("Again"));
    QCOMPARE(history[1].informativeText, QString());
}

void FrameworkTest::messageBoxInteractive_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("answer");

    QTest::addColumn<QString>("informative");

    QTest::newRow("Yes/No, No") << 52 << QStringLiteral("No") << 7 << "";
    QTest::newRow("Yes/No, Enter") << 52 << QStringLiteral("Enter") << 6 << "";
    QTest::newRow("OK, with the reason") << 48 << QStringLiteral("Enter") << 1 << "No such file: /tmp/x.txt";
}

// The real box, answered by a timer once it is up.
void FrameworkTest::messageBoxInteractive() {
    QFETCH(int, style);
    QFETCH(QString, press);
    QFETCH(int, answer);
    QFETCH(QString, informative);

    MessageBox::setUnattended(false);
    QString seenTitle;
    QString seenText;
    QString seenInformative;
    QStringList seenButtons;
    QString seenDefault;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    std::function<void()> answerBox = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, answerBox);
            return;
        }
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenInformative = box->informativeText();
        seenIcon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            seenButtons << button->text().remove(QLatin1Char('&'));
        }
        if (box->defaultButton()) {
            seenDefault = box->defaultButton()->text().remove(QLatin1Char('&'));
        }
        if (press == QLatin1String("Enter")) {
            QTest::keyClick(box, Qt::Key_Return);
        } else {
            box->button(QMessageBox::No)->click();
        }
    };
    QTimer::singleShot(0, answerBox);
    const int result = MessageBox::show(QStringLiteral("Ready?"), style, {}, informative);
    MessageBox::setUnattended(true);

    QCOMPARE(result, answer);
    QCOMPARE(seenTitle, QStringLiteral("ZendrikDemo"));
    QCOMPARE(seenText, QStringLiteral("Ready?"));
    QCOMPARE(seenInformative, informative);
    QCOMPARE(seenIcon, QMessageBox::Warning);
    seenButtons.sort();
    if (style & 4) {
        QCOMPARE(seenButtons, (QStringList{QStringLiteral("No"), QStringLiteral("Yes")}));
        QCOMPARE(seenDefault, QStringLiteral("Yes"));
    } else {
        QCOMPARE(seenButtons, QStringList{QStringLiteral("OK")});
    }
}

void FrameworkTest::endsWhenNoWindowIsShown() {
    ProbeForm& form = window<ProbeForm>();
    form.showForm();
    QCoreApplication::processEvents();
    QVERIFY(exits_.empty());

    form.unloadForm();
    // Only once the handler has returned.
    QVERIFY(exits_.empty());
    QTRY_COMPARE(exits_, std::vector<int>{0});
}

void FrameworkTest::endsAlthoughAWindowIsLoadedHidden() {
    ProbeForm& shown = window<ProbeForm>();
    OtherForm& hidden = window<OtherForm>();
    shown.showForm();
    hidden.label1()->setText(QStringLiteral("loaded by a late event"));
    QVERIFY(hidden.isLoaded());
    QVERIFY(!hidden.isVisible());

    shown.unloadForm();
    QTRY_COMPARE(exits_, std::vector<int>{0});
    // Hidden windows go on the way out, without their unload step.
    QVERIFY(!hidden.isLoaded());
    QCOMPARE(hidden.unloads, 0);
}

void FrameworkTest::keepsRunningWhileAWindowIsShown() {
    ProbeForm& first = window<ProbeForm>();
    OtherForm& second = window<OtherForm>();
    first.showForm();
    second.showForm();
    first.unloadForm();
    QTest::qWait(50);
    QVERIFY(exits_.empty());
    QVERIFY(second.isLoaded());

    // Hiding the last shown window ends the application too.
    second.hideForm();
    QTRY_COMPARE(exits_, std::vector<int>{0});
    QVERIFY(!second.isLoaded());
}

void FrameworkTest::fixedSizeLabelsWrap() {
    ProbeForm& form = window<ProbeForm>();
    QLabel* label = form.label1();
    QVERIFY(label->wordWrap());
    QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
    label->setText(QStringLiteral("several words that cannot possibly fit on one line of eighty pixels"));
    const int lineHeight = label->fontMetrics().height();
    QVERIFY2(label->heightForWidth(label->width()) >= 3 * lineHeight, "the text did not wrap");
}

void FrameworkTest::applicationSettings() {
    prepareApplication();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ZendrikDemo"));
    QCOMPARE(QFontInfo(QFont(QStringLiteral("Tahoma"))).family(), QStringLiteral("Tahoma"));
    // The data files lie beside the executables.
    const QString demo1 = applicationFile(QStringLiteral("Demo1.txt"));
    QCOMPARE(demo1, QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/Demo1.txt")));
    QVERIFY2(QFile::exists(demo1), qPrintable(demo1));
    QVERIFY(QFile::exists(applicationFile(QStringLiteral("Demo2.txt"))));
}

QTEST_MAIN(FrameworkTest)
#include "tst_framework.moc"
