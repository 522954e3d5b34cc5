// Where the application finds its data files: beside the program (the build tree), or, installed,
// in the shared data folder. The test copies itself into an installed-looking tree and asks the
// copy.

#include "application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

class TestInstalledData : public QObject {
    Q_OBJECT
private slots:
    void besideTheProgramOrInstalled();
};

namespace {
QString whereCopyFinds(const QString& program, const QString& file) {
    QProcess copy;
    copy.start(program, {QStringLiteral("--where"), file});
    if (!copy.waitForFinished(30000) || copy.exitCode() != 0)
        return QStringLiteral("(failed: %1)").arg(QString::fromLocal8Bit(copy.readAllStandardError()));
    return QString::fromLocal8Bit(copy.readAllStandardOutput());
}
} // namespace

void TestInstalledData::besideTheProgramOrInstalled() {
    QCOMPARE(demo::applicationFile(QStringLiteral("Demo1.txt")),
             QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/Demo1.txt")));

    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QDir root(prefix.path());
    QVERIFY(root.mkpath(QStringLiteral(ZENDRIK_TEST_BINDIR)));
    QVERIFY(root.mkpath(QStringLiteral(ZENDRIK_TEST_DATADIR)));
    const QString program = root.filePath(QStringLiteral(ZENDRIK_TEST_BINDIR "/") +
                                          QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    const QString installed = root.filePath(QStringLiteral(ZENDRIK_TEST_DATADIR "/Demo1.txt"));
    QVERIFY(QFile::copy(demo::applicationFile(QStringLiteral("Demo1.txt")), installed));

    QCOMPARE(whereCopyFinds(program, QStringLiteral("Demo1.txt")), QDir::toNativeSeparators(installed));
    // Found nowhere: the path beside the program, which the print error then names.
    QCOMPARE(whereCopyFinds(program, QStringLiteral("Demo2.txt")),
             QDir::toNativeSeparators(QFileInfo(program).path() + QStringLiteral("/Demo2.txt")));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--where") == 0) {
        std::fputs(qPrintable(demo::applicationFile(QString::fromLocal8Bit(argv[2]))), stdout);
        return 0;
    }
    TestInstalledData test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_installeddata.moc"
