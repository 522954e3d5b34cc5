// Printing from the advanced window on real queues of the private CUPS scheduler that scripts/test
// starts: the job the spooler holds carries the window's choices, and a refused job ends in
// "Print error!" with the progress window left as it was.

#include "advancedwindowfixture.h"

#include "FormStatus/FormStatus.h"
#include "cupstestsupport.h"
#include <zendrik/zendrik.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using namespace demo;

namespace {

FormMain& formMain() {
    return window<FormMain>();
}

template <class W> W* mainControl(const char* name) {
    return fixture::find<W>(formMain(), QString::fromLatin1(name));
}

struct Outcome {
    int complete = 0;
    int errors = 0;
    QString description; // of the first error
};

// Clicks "Print Document" and waits for the component's outcome.
Outcome printAndWait() {
    zendrik::Zendrik* component = formMain().Zendrik1();
    QSignalSpy complete(component, &zendrik::Zendrik::PrintComplete);
    QSignalSpy error(component, &zendrik::Zendrik::PrintError);
    QTest::mouseClick(mainControl<QPushButton>("Command1"), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return complete.size() + error.size() > 0; }, 60000)) {
        return {};
    }
    QTest::qWait(50); // a second outcome would show here
    return {static_cast<int>(complete.size()), static_cast<int>(error.size()),
            error.isEmpty() ? QString() : error.first().at(1).toString()};
}

} // namespace

class TestFormMainCups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { fixture::reset(); }
    void cleanupTestCase() { fixture::reset(); }

    void printsOnQueue_data();
    void printsOnQueue();
    void refusedJob();
    void queueJobAfterPdfNamesNoFile();

private:
    cupstest::Server server_;
    int titles_ = 0;
};

void TestFormMainCups::initTestCase() {
    fixture::prepare();
    server_ = cupstest::Server::fromEnvironment();
    if (!server_.isValid()) {
        QSKIP("no private CUPS scheduler running (scripts/test starts one)");
    }
}

void TestFormMainCups::printsOnQueue_data() {
    QTest::addColumn<int>("paper");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("media");
    QTest::addColumn<QString>("orientationRequested");
    QTest::newRow("defaults") << 0 << 0 << 0 << "iso_a4_210x297mm"
                              << "portrait";
    QTest::newRow("Letter, landscape, 2 copies") << 1 << 2 << 1 << "na_letter_8.5x11in"
                                                 << "landscape";
}

void TestFormMainCups::printsOnQueue() {
    QFETCH(int, paper);
    QFETCH(int, orientation);
    QFETCH(int, copies);
    QFETCH(QString, media);
    QFETCH(QString, orientationRequested);

    const QString title =
        QStringLiteral("Advanced window job %1 of %2").arg(++titles_).arg(QCoreApplication::applicationPid());
    formMain().showForm();
    auto* printers = mainControl<QComboBox>("cboPrinter");
    printers->setCurrentIndex(printers->findText(QStringLiteral("accepting")));
    QVERIFY(printers->currentIndex() > 0);
    mainControl<QComboBox>("cboPaperSize")->setCurrentIndex(paper);
    mainControl<QComboBox>("cboOrientation")->setCurrentIndex(orientation);
    mainControl<QComboBox>("cboCopies")->setCurrentIndex(copies);
    mainControl<QLineEdit>("txtTitle")->setText(title);
    mainControl<QLineEdit>("txtHeader")->setText(QStringLiteral("Queue Header"));
    mainControl<QLineEdit>("txtFooter")->setText(QStringLiteral("Queue Footer"));

    const Outcome outcome = printAndWait();
    QCOMPARE(outcome.errors, 0);
    QCOMPARE(window<FormStatus>().Label1()->text(), QStringLiteral("Print Complete!"));

    bool ok = false;
    const QList<int> jobs = server_.jobsNamed(title, &ok);
    QVERIFY(ok);
    QCOMPARE(jobs.size(), 1);
    const auto job = server_.jobAttributes(jobs.first());
    QCOMPARE(job.value(QStringLiteral("copies")), QString::number(copies + 1));
    QCOMPARE(job.value(QStringLiteral("media")), media);
    QCOMPARE(job.value(QStringLiteral("orientation-requested")), orientationRequested);

    const cupstest::PdfFacts kept = cupstest::readPdf(server_.keptDocument(jobs.first()));
    for (const QString& part : {title, QStringLiteral("Queue Header"), QStringLiteral("Queue Footer"),
                                QStringLiteral("Orvanel is a 32-bit ActiveX")}) {
        QVERIFY2(kept.text.simplified().contains(part), qPrintable(part));
    }
}

void TestFormMainCups::refusedJob() {
    formMain().showForm();
    auto* printers = mainControl<QComboBox>("cboPrinter");
    printers->setCurrentIndex(printers->findText(QStringLiteral("rejecting")));
    QVERIFY(printers->currentIndex() > 0);
    MessageBox::clearHistory();

    const Outcome outcome = printAndWait();
    QCOMPARE(outcome.errors, 1);
    QCOMPARE(fixture::messageTexts(), QStringList{QStringLiteral("Print error!")});
    FormStatus& status = window<FormStatus>();
    QVERIFY(status.isVisible());
    QVERIFY(status.Label1()->text() != QStringLiteral("Print Complete!"));
    QVERIFY(status.Timer1()->isActive());
    QVERIFY(!formMain().isVisible());
    // The box says why, in the component's words.
    QVERIFY(!outcome.description.isEmpty());
    QCOMPARE(MessageBox::history().first().informativeText, outcome.description);
}

// A job on a queue after a PDF must not be said to have written a file.
void TestFormMainCups::queueJobAfterPdfNamesNoFile() {
    QTemporaryDir pdfDir;
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(pdfDir.path()));
    formMain().showForm();
    auto* printers = mainControl<QComboBox>("cboPrinter");
    printers->setCurrentIndex(printers->findText(QString::fromLatin1(zendrik::kSaveAsPdfPrinter)));
    QCOMPARE(printAndWait().complete, 1);
    QVERIFY(!window<FormStatus>().Label1()->toolTip().isEmpty());
    window<FormStatus>().command1Click();

    printers->setCurrentIndex(printers->findText(QStringLiteral("accepting")));
    QCOMPARE(printAndWait().complete, 1);
    QCOMPARE(window<FormStatus>().Label1()->toolTip(), QString());
    qunsetenv(zendrik::kPdfDirEnv);
}

QTEST_MAIN(TestFormMainCups)
#include "tst_formmaincups.moc"
