// Errors that no handler traps: reported in a message box with their description, then the
// application ends with status 1. Runs on the application's own QApplication subclass.

#include "application.h"
#include "messagebox.h"
#include "windowregistry.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace demo;

namespace {

class ThrowingForm : public Form {
public:
    ThrowingForm() : Form(QStringLiteral("ThrowingForm")) { setClientSizeTwips(1500, 900); }
    QPushButton* button() { return control<QPushButton>(QStringLiteral("Command1")); }
    QPushButton* lookup() { return control<QPushButton>(QStringLiteral("Command2")); }

protected:
    void createControls(QWidget* client) override {
        auto* button = new QPushButton(QStringLiteral("Fail"), client);
        button->setObjectName(QStringLiteral("Command1"));
        button->setGeometry(10, 10, 60, 25);
        connect(button, &QPushButton::clicked, this,
                [] { throw std::runtime_error("Property value refused: Copies = 0"); });
        // A handler that asks for a control the window does not have.
        auto* lookup = new QPushButton(QStringLiteral("Look up"), client);
        lookup->setObjectName(QStringLiteral("Command2"));
        lookup->setGeometry(10, 40, 60, 25);
        connect(lookup, &QPushButton::clicked, this, [this] { control<QLabel>(QStringLiteral("Label9"))->clear(); });
    }
};

} // namespace

class UntrappedErrorTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        MessageBox::setUnattended(true);
        MessageBox::clearHistory();
    }
    void cleanup() { WindowRegistry::instance().destroyAll(); }

    void errorInAClickHandlerEndsTheApplication() {
        ThrowingForm& form = window<ThrowingForm>();
        form.showForm();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTimer::singleShot(0, &form, [&form] { QTest::mouseClick(form.button(), Qt::LeftButton); });
        const int status = QCoreApplication::exec();

        QCOMPARE(status, 1);
        const auto history = MessageBox::history();
        QCOMPARE(history.size(), 1);
        QVERIFY2(history[0].text.contains(QStringLiteral("Property value refused: Copies = 0")),
                 qPrintable(history[0].text));
        QCOMPARE(history[0].title, QStringLiteral("ZendrikDemo"));
        QVERIFY(!form.isLoaded());
    }

    void missingControlEndsTheApplication() {
        ThrowingForm& form = window<ThrowingForm>();
        form.showForm();
        QTimer::singleShot(0, &form, [&form] { QTest::mouseClick(form.lookup(), Qt::LeftButton); });
        QCOMPARE(QCoreApplication::exec(), 1);
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(MessageBox::history()[0].text.contains(QStringLiteral("ThrowingForm has no control named Label9")),
                 qPrintable(MessageBox::history()[0].text));
    }

    void errorInATimerEndsTheApplication() {
        ThrowingForm& form = window<ThrowingForm>();
        form.showForm();
        QTimer::singleShot(0, &form, [] { throw std::logic_error("Timer step failed"); });
        const int status = QCoreApplication::exec();
        QCOMPARE(status, 1);
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY(MessageBox::history()[0].text.contains(QStringLiteral("Timer step failed")));
    }

    void normalEndIsStatusZero() {
        ThrowingForm& form = window<ThrowingForm>();
        form.showForm();
        QTimer::singleShot(0, &form, [&form] { form.unloadForm(); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(MessageBox::history().isEmpty());
    }
};

int main(int argc, char** argv) {
    DemoApplication app(argc, argv);
    UntrappedErrorTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_untrapped.moc"
