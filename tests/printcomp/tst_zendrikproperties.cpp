// The component as Qt's meta-object shows it to QML and scripting hosts: properties named after
// the members, the codes as enums, refusals as a signal, and the invokable methods.

#include <zendrik/papers.h>
#include <zendrik/zendrik.h>

#include <QMetaEnum>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace zendrik;

namespace {

// "DocTitleFont.Size" names the Size property of the component's DocTitleFont object.
QObject* owner(Zendrik& z, QString& name) {
    const qsizetype dot = name.indexOf(u'.');
    if (dot < 0)
        return &z;
    QObject* font = z.property(name.left(dot).toLatin1().constData()).value<ZendrikFont*>();
    name = name.mid(dot + 1);
    return font;
}

} // namespace

class TestZendrikProperties : public QObject {
    Q_OBJECT
private slots:
    void everyMemberIsAPropertyOfItsName();
    void codesAreEnumsOfTheTables();
    void propertyWrites_data();
    void propertyWrites();
    void invokablePrintIntoAnExactPath();
};

void TestZendrikProperties::everyMemberIsAPropertyOfItsName() {
    Zendrik z;
    const QMetaObject* mo = z.metaObject();
    const QMetaMethod notify = QMetaMethod::fromSignal(&Zendrik::settingsChanged);
    for (const MemberInfo& m : memberTable()) {
        const QString name = QLatin1String(m.name);
        if (m.kind == MemberKind::Call) {
            QVERIFY2(mo->indexOfMethod(
                         QMetaObject::normalizedSignature((name + QStringLiteral("()")).toLatin1()).constData()) >= 0,
                     m.name);
            continue;
        }
        const QMetaProperty p = mo->property(mo->indexOfProperty(m.name));
        QVERIFY2(p.isValid() && p.isReadable(), m.name);
        if (m.type == ValueType::Font) {
            // The component's own font object, not a copy.
            QVERIFY2(p.isConstant() && !p.isWritable(), m.name);
            QCOMPARE(z.property(m.name).value<ZendrikFont*>(), z.findChild<ZendrikFont*>(name));
            QVERIFY(z.findChild<ZendrikFont*>(name));
            continue;
        }
        QVERIFY2(p.isWritable(), m.name);
        QCOMPARE(p.notifySignal(), notify);
        const QVariant value = z.property(m.name);
        if (p.isEnumType())
            QCOMPARE(value.toInt(), z.member(name).toInt());
        else
            QCOMPARE(value, z.member(name));
    }
    QCOMPARE(z.property("DocTitleFont").value<ZendrikFont*>(), &z.DocTitleFont());
}

void TestZendrikProperties::codesAreEnumsOfTheTables() {
    const QMetaEnum papers = QMetaEnum::fromType<PaperSizeCode>();
    QCOMPARE(size_t(papers.keyCount()), paperTable().size());
    for (const Paper& paper : paperTable()) {
        const QString name = QLatin1String(paper.name);
        QCOMPARE(QLatin1String(papers.valueToKey(paper.code)),
                 name.front().isDigit() ? QStringLiteral("Paper") + name : name);
    }
    const QMetaEnum bins = QMetaEnum::fromType<PaperBinCode>();
    QCOMPARE(size_t(bins.keyCount()), paperBinTable().size());
    for (const PaperBin& bin : paperBinTable())
        QCOMPARE(QLatin1String(bins.valueToKey(bin.code)), QLatin1String(bin.name));
    // The member table says what the codes mean ("1 Draft, 2 Low, ..."); the enums agree.
    const QPair<const char*, QMetaEnum> coded[] = {{"PrintQuality", QMetaEnum::fromType<PrintQualityCode>()},
                                                   {"Orientation", QMetaEnum::fromType<OrientationCode>()}};
    for (const auto& [member, codes] : coded) {
        const auto info = memberByName(QLatin1String(member));
        QVERIFY(info);
        QCOMPARE(codes.keyCount(), int(info->maximum - info->minimum + 1));
        for (int i = 0; i < codes.keyCount(); ++i) {
            const QString meaning = QStringLiteral("%1 %2").arg(codes.value(i)).arg(QLatin1String(codes.key(i)));
            QVERIFY2(QLatin1String(info->meaning).contains(meaning), qPrintable(meaning));
        }
    }
}

void TestZendrikProperties::propertyWrites_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<bool>("converted");    // setProperty() could convert the value to the property's type
    QTest::addColumn<QString>("refusal");   // a part of valueRefused's description; "" = taken
    QTest::addColumn<QVariant>("expected"); // read back as QVariant::toString()

    QTest::newRow("paper by name") << "PaperSize" << QVariant(QStringLiteral("A5")) << true << "" << QVariant("A5");
    QTest::newRow("paper by code") << "PaperSize" << QVariant(1) << true << "" << QVariant("Letter");
    QTest::newRow("orientation by name") << "Orientation" << QVariant(QStringLiteral("Landscape")) << true << ""
                                         << QVariant("Landscape");
    QTest::newRow("bin by code") << "PaperBin" << QVariant(12) << true << "" << QVariant("Cassette");
    QTest::newRow("quality by name") << "PrintQuality" << QVariant(QStringLiteral("Draft")) << true << ""
                                     << QVariant("Draft");
    QTest::newRow("margin") << "MarginLeft" << QVariant(720) << true << "" << QVariant("720");
    QTest::newRow("title") << "DocTitle" << QVariant(QStringLiteral("Report")) << true << "" << QVariant("Report");
    QTest::newRow("same value") << "Copies" << QVariant(1) << true << "" << QVariant("1");
    QTest::newRow("font size") << "DocTextFont.Size" << QVariant(QStringLiteral("12.5")) << true << ""
                               << QVariant("12.5");
    QTest::newRow("font bold") << "DocFooterFont.Bold" << QVariant(true) << true << "" << QVariant("true");

    QTest::newRow("paper code out of range")
        << "PaperSize" << QVariant(42) << true << "PaperSize: value 42 refused" << QVariant("A4");
    QTest::newRow("no copies") << "Copies" << QVariant(0) << true << "Copies: value 0 refused" << QVariant("1");
    QTest::newRow("copies beyond 16 bits")
        << "Copies" << QVariant(65537) << true << "Copies: value 65537 refused" << QVariant("1");
    QTest::newRow("negative margin") << "MarginTop" << QVariant(-1) << true << "MarginTop: value -1 refused"
                                     << QVariant("1440");
    QTest::newRow("line spacing") << "LineSpacing" << QVariant(7) << true << "LineSpacing: value 7 refused"
                                  << QVariant("1");
    QTest::newRow("font size zero") << "DocTitleFont.Size" << QVariant(0) << true << "DocTitleFont.Size: value 0"
                                    << QVariant("16");
    QTest::newRow("paper name unknown") << "PaperSize" << QVariant(QStringLiteral("A7")) << false << ""
                                        << QVariant("A4");
}

void TestZendrikProperties::propertyWrites() {
    QFETCH(QString, property);
    QFETCH(QVariant, written);
    QFETCH(bool, converted);
    QFETCH(QString, refusal);
    QFETCH(QVariant, expected);

    Zendrik z;
    QObject* target = owner(z, property);
    QVERIFY(target);
    const QByteArray name = property.toLatin1();
    const QVariant before = target->property(name.constData());
    QSignalSpy refused(&z, &Zendrik::valueRefused);
    QSignalSpy changes(&z, &Zendrik::settingsChanged);
    std::optional<QSignalSpy> fontChanges;
    if (auto* font = qobject_cast<ZendrikFont*>(target))
        fontChanges.emplace(font, &ZendrikFont::changed);

    QCOMPARE(target->setProperty(name.constData(), written), converted);
    const QVariant after = target->property(name.constData());
    QCOMPARE(after.toString(), expected.toString());
    QCOMPARE(refused.count(), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty())
        QVERIFY2(refused[0][0].toString().contains(refusal), qPrintable(refused[0][0].toString()));
    // One change signal for each value that changed, none for a value set again or refused.
    QCOMPARE(fontChanges ? fontChanges->count() : changes.count(), after == before ? 0 : 1);
}

// PrintDoc and the exact-path properties as a scripting host reaches them; the error code read by
// its enum.
void TestZendrikProperties::invokablePrintIntoAnExactPath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Zendrik z;
    QSignalSpy complete(&z, &Zendrik::PrintComplete);
    QSignalSpy failed(&z, &Zendrik::PrintError);
    const QString path = dir.filePath(QStringLiteral("exact name.pdf"));
    QVERIFY(z.setProperty("DocText", QStringLiteral("Printed through the meta-object.")));
    QVERIFY(z.setProperty("outputFileName", path));
    QVERIFY(QMetaObject::invokeMethod(&z, "PrintDoc", Q_ARG(QString, QString::fromLatin1(kSaveAsPdfPrinter))));
    QVERIFY(complete.wait(60000));
    QCOMPARE(z.property("lastOutputPath").toString(), path);
    QVERIFY(QFile::exists(path));

    QVERIFY(z.setProperty("outputFileName", dir.filePath(QStringLiteral("missing/folder.pdf"))));
    QVERIFY(QMetaObject::invokeMethod(&z, "PrintDoc", Q_ARG(QString, QString::fromLatin1(kSaveAsPdfPrinter))));
    QVERIFY(failed.wait(60000));
    const qint32 code = failed[0][0].toInt();
    QCOMPARE(QLatin1String(QMetaEnum::fromType<ErrorCode>().valueToKey(code)), QLatin1String("OutputFailed"));
    QCOMPARE(z.property("lastOutputPath").toString(), path);
    QVERIFY(QMetaObject::invokeMethod(&z, "CancelDoc"));
}

QTEST_MAIN(TestZendrikProperties)
#include "tst_zendrikproperties.moc"
