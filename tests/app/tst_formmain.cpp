// The advanced window as laid out and as its load step leaves it: controls, colours, design-time
// state, tab order, the option lists and their selections, the default texts and the notice.

#include "advancedwindowfixture.h"

#include "FormStart/FormStart.h"
#include "FormStatus/FormStatus.h"
#include "demotext.h"
#include "displayfonts.h"
#include <zendrik/zendrik.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionButton>

using namespace demo;

namespace {

FormMain& formMain() {
    return window<FormMain>();
}

QStringList entries(QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->itemText(i);
    }
    return texts;
}

QStringList numbers(std::initializer_list<int> values) {
    QStringList texts;
    for (int value : values) {
        texts << QString::number(value);
    }
    return texts;
}

// Sixty made-up families with the given names placed at the given positions.
QStringList families(int count, const QList<QPair<int, QString>>& placed) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << QStringLiteral("Family %1").arg(i);
    }
    for (const auto& [position, name] : placed) {
        names[position] = name;
    }
    return names;
}

// The widget class each kind of row is made of.
const char* classOf(const ControlSpec& spec) {
    switch (spec.kind) {
    case ControlKind::Frame:
        return spec.caption.isEmpty() ? "QFrame" : "QGroupBox";
    case ControlKind::Label:
    case ControlKind::Image:
        return "QLabel";
    case ControlKind::OptionButton:
        return "QRadioButton";
    case ControlKind::CheckBox:
        return "QCheckBox";
    case ControlKind::CommandButton:
        return "QPushButton";
    case ControlKind::GraphicalButton:
        return "demo::GlyphButton";
    case ControlKind::ComboBox:
        return "QComboBox";
    case ControlKind::TextBox:
        return "QLineEdit";
    case ControlKind::MultiLineTextBox:
        return "QPlainTextEdit";
    }
    return "";
}

// The colour most pixels of `rect` have.
QColor dominantColour(const QImage& image, const QRect& rect) {
    QHash<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb most = 0;
    int mostCount = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > mostCount) {
            most = it.key();
            mostCount = it.value();
        }
    }
    return QColor(most);
}

QString captionOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        return frame->title();
    }
    return {};
}

const QStringList kPaperSizes = {"(Default Paper Size)",
                                 "Letter",
                                 "LetterSmall",
                                 "Tabloid",
                                 "Ledger",
                                 "Legal",
                                 "Statement",
                                 "Executive",
                                 "A3",
                                 "A4",
                                 "A4Small",
                                 "A5",
                                 "B4",
                                 "B5",
                                 "Folio",
                                 "Quarto",
                                 "10x14",
                                 "11x17",
                                 "Note",
                                 "Env9",
                                 "Env10",
                                 "Env11",
                                 "Env12",
                                 "Env14",
                                 "CSheet",
                                 "DSheet",
                                 "ESheet",
                                 "EnvDL",
                                 "EnvC3",
                                 "EnvC4",
                                 "EnvC5",
                                 "EnvC6",
                                 "EnvC65",
                                 "EnvB4",
                                 "EnvB5",
                                 "EnvB6",
                                 "EnvItaly",
                                 "EnvMonarch",
                                 "EnvPersonal",
                                 "FanfoldUS",
                                 "FanfoldStdGerman",
                                 "FanfoldLglGerman"};

const QStringList kPaperBins = {"(Default Paper Bin)",
                                "Upper",
                                "Lower",
                                "Middle",
                                "Manual",
                                "Envelope",
                                "EnvManual",
                                "Auto",
                                "Tractor",
                                "SmallFmt",
                                "LargeFmt",
                                "LargeCapacity",
                                "Cassette"};

const QStringList kTabOrder = {"Command1",    "cboPrinter",     "cboPrintQuality", "cboPaperSize",  "cboOrientation",
                               "cboPaperBin", "cboCopies",      "cboTitleFont",    "cboTitleSize",  "Check1(0)",
                               "Check1(1)",   "Check1(2)",      "cboTextFont",     "cboTextSize",   "Check2(0)",
                               "Check2(1)",   "Check2(2)",      "cboHeaderFont",   "cboHeaderSize", "Check3(0)",
                               "Check3(1)",   "Check3(2)",      "cboFooterFont",   "cboFooterSize", "Check4(0)",
                               "Check4(1)",   "Check4(2)",      "txtTitle",        "txtText",       "txtHeader",
                               "txtFooter",   "Check5",         "Check6",          "Check7",        "Check8",
                               "Check9",      "txtMarginLeft",  "txtMarginRight",  "txtMarginTop",  "txtMarginBottom",
                               "Option1(0)",  "cboLineSpacing", "Command2",        "Command1"};

const QStringList kCheckedAtDesignTime = {"Check1(0)", "Check4(1)", "Check6", "Check8", "Check9"};

} // namespace

class TestFormMain : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { fixture::prepare(); }
    void init() { fixture::reset(); }
    void cleanupTestCase() { fixture::reset(); }

    void controlsFollowTheLayoutTable();
    void designedPlaces_data();
    void designedPlaces();
    void windowProperties();
    void bannerAndPictures();
    void optionListsChooseOnly();
    void optionListsLightYellow_data();
    void optionListsLightYellow();
    void openedListsShowWholeNames();
    void checkBoxesDrawnWhole();
    void designTimeState();
    void tabOrder();
    void escapeAndEnterOutsideButtonsDoNothing();

    void listEntries_data();
    void listEntries();
    void printers_data();
    void printers();
    void printersFromTheComponent();
    void fontRule_data();
    void fontRule();
    void fontLists_data();
    void fontLists();
    void defaultTexts();
    void noticeBeforeTheWindowShows();
    void componentKeepsItsStoredValues();
    void reloadStartsAfresh();
    void hidingKeepsTheLoadedState();
};

void TestFormMain::controlsFollowTheLayoutTable() {
    FormMain& form = formMain();
    form.ensureLoaded();
    for (const ControlSpec& spec : FormMain::layoutTable()) {
        const QByteArray name = spec.name.toUtf8();
        QWidget* widget = fixture::find<QWidget>(form, spec.name);
        QVERIFY2(widget->inherits(classOf(spec)), name);
        const QString container =
            widget->parentWidget() == form.client() ? QString() : widget->parentWidget()->objectName();
        QCOMPARE(container, spec.container);
        QVERIFY2(widget->pos() == QPoint(twipsToPixels(spec.left), twipsToPixels(spec.top)), name);
        if (spec.autoSize) {
            // Sized to the caption, so nothing of it is cut off.
            QVERIFY2(widget->size() == widget->sizeHint(), name);
        } else {
            QVERIFY2(widget->size() == QSize(twipsToPixels(spec.width), twipsToPixels(spec.height)), name);
        }
        QCOMPARE(captionOf(widget), spec.caption);
        QVERIFY2(widget->font().family() == spec.font.family, name);
        QVERIFY2(widget->font().pointSizeF() == spec.font.pointSize, name);
        QVERIFY2(widget->font().bold() == spec.font.bold, name);
        if (spec.foreground) {
            const QPalette::ColorRole role = spec.kind == ControlKind::Label ? QPalette::WindowText : QPalette::Text;
            QVERIFY2(widget->palette().color(role) == *spec.foreground, name);
        }
        if (spec.background) {
            QVERIFY2(widget->palette().color(QPalette::Base) == *spec.background, name);
        }
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            QVERIFY2(box->isChecked() == spec.checked, name);
        }
        if (auto* option = qobject_cast<QRadioButton*>(widget)) {
            QVERIFY2(option->isChecked() == spec.checked, name);
        }
        const bool takesFocus = spec.tabIndex >= 0 && spec.kind != ControlKind::Label &&
                                spec.kind != ControlKind::Frame && spec.kind != ControlKind::Image;
        QVERIFY2((widget->focusPolicy() != Qt::NoFocus) == takesFocus, name);
    }
}

// Pixel places worked out by hand from the designed twips, independent of the window's table.
void TestFormMain::designedPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("Frame1") << "Frame1"
                            << "" << QRect(-2, 48, 617, 2);
    QTest::newRow("Command1") << "Command1"
                              << "" << QRect(428, 468, 91, 67);
    QTest::newRow("Command2") << "Command2"
                              << "" << QRect(522, 468, 73, 67);
    QTest::newRow("Frame2") << "Frame2"
                            << "" << QRect(4, 298, 289, 161);
    QTest::newRow("Frame6") << "Frame6"
                            << "" << QRect(300, 298, 295, 161);
    QTest::newRow("Frame7") << "Frame7"
                            << "" << QRect(4, 462, 419, 75);
    QTest::newRow("cboPrinter") << "cboPrinter"
                                << "Frame2" << QRect(82, 24, 199, 21);
    QTest::newRow("cboLineSpacing") << "cboLineSpacing"
                                    << "Frame3" << QRect(84, 110, 125, 21);
    QTest::newRow("cboFooterSize") << "cboFooterSize"
                                   << "Frame3" << QRect(238, 190, 43, 21);
    QTest::newRow("Frame4(1)") << "Frame4(1)"
                               << "Frame3" << QRect(0, 134, 289, 2);
    QTest::newRow("Check4(2)") << "Check4(2)"
                               << "Frame3" << QRect(206, 214, 77, 17);
    QTest::newRow("txtText") << "txtText"
                             << "Frame5" << QRect(50, 40, 237, 147);
    QTest::newRow("txtFooter") << "txtFooter"
                               << "Frame5" << QRect(50, 208, 237, 19);
    QTest::newRow("txtMarginRight") << "txtMarginRight"
                                    << "Frame6" << QRect(194, 32, 89, 19);
    QTest::newRow("Check6") << "Check6"
                            << "Frame6" << QRect(12, 96, 275, 13);
    QTest::newRow("Option1(2)") << "Option1(2)"
                                << "Frame7" << QRect(8, 54, 363, 13);
}

void TestFormMain::designedPlaces() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, pixels);
    QWidget* widget = fixture::find<QWidget>(formMain(), name);
    QCOMPARE(widget->parentWidget() == formMain().client() ? QString() : widget->parentWidget()->objectName(),
             container);
    QCOMPARE(widget->geometry(), pixels);
}

void TestFormMain::windowProperties() {
    FormMain& form = formMain();
    form.ensureLoaded();
    QCOMPARE(form.windowTitle(), QStringLiteral("Orvanel Demo"));
    QCOMPARE(form.font().family(), QStringLiteral("Verdana"));
    QCOMPARE(form.font().pointSizeF(), 8.25);
    QVERIFY(!form.windowIcon().isNull());
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint) || !flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint) || !flags.testFlag(Qt::CustomizeWindowHint));
    QCOMPARE(form.client()->size(), QSize(599, 540));
    QCOMPARE(form.size(), QSize(599, 540));
    QVERIFY(form.maximumSize().width() > 599);

    // Resizing moves and resizes nothing.
    QWidget* exit = fixture::find<QWidget>(form, "Command2");
    const QRect before = exit->geometry();
    form.resize(900, 760);
    QCOMPARE(form.client()->size(), QSize(599, 540));
    QCOMPARE(exit->geometry(), before);
    form.resize(300, 200);
    QCOMPARE(form.client()->size(), QSize(599, 540));
    QCOMPARE(exit->geometry(), before);
}

void TestFormMain::bannerAndPictures() {
    FormMain& form = formMain();
    auto* white = fixture::find<QLabel>(form, "Label1(0)");
    auto* blue = fixture::find<QLabel>(form, "Label1(1)");
    QCOMPARE(white->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    QCOMPARE(blue->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QCOMPARE(white->font().family(), QStringLiteral("Comic Sans MS"));
    // Shown in the free stand-in, not in whatever script font fontconfig would take for it.
    QCOMPARE(plainFamilyName(QFontInfo(white->font()).family()), QStringLiteral("Comic Neue"));
    QCOMPARE(white->font().pointSizeF(), 20.25);
    QVERIFY(white->font().bold());
    QCOMPARE(white->pos() - blue->pos(), QPoint(2, 2));
    // The dark blue copy is drawn on top of the white one.
    const QObjectList stack = form.client()->children();
    QVERIFY(stack.indexOf(blue) > stack.indexOf(white));

    auto* image = fixture::find<QLabel>(form, "Image1");
    QVERIFY(!image->pixmap().isNull());
    QVERIFY(image->hasScaledContents());
    QCOMPARE(image->frameWidth(), 2);
    QCOMPARE(image->contentsRect().size(), QSize(72, 40));

    auto* print = fixture::find<QPushButton>(form, "Command1");
    QCOMPARE(print->text(), QStringLiteral("Print Document"));
    QVERIFY(!print->icon().isNull());
    QVERIFY(print->autoDefault());
    QVERIFY(!print->isDefault());
    auto* exit = fixture::find<QPushButton>(form, "Command2");
    QVERIFY(exit->icon().isNull());
    QVERIFY(!exit->isDefault());

    // The glyph stands centred above the caption: the upper half of the button holds its colours.
    const QImage face = print->grab().toImage();
    const QImage plain = exit->grab().toImage();
    const QColor background = plain.pixelColor(plain.width() / 2, plain.height() / 2);
    int marked = 0;
    for (int y = 8; y < face.height() / 2; ++y) {
        if (face.pixelColor(face.width() / 2, y) != background) {
            ++marked;
        }
    }
    QVERIFY2(marked > 8, "no glyph above the caption");
}

void TestFormMain::optionListsChooseOnly() {
    formMain().ensureLoaded();
    const QList<QComboBox*> lists = formMain().client()->findChildren<QComboBox*>();
    QCOMPARE(lists.size(), 15);
    for (QComboBox* list : lists) {
        QVERIFY(list->objectName().startsWith(QStringLiteral("cbo")));
        QVERIFY(!list->isEditable());
        QCOMPARE(list->height(), 21);
        QCOMPARE(list->palette().color(QPalette::Button), QColor(254, 255, 225));
        QCOMPARE(list->palette().color(QPalette::ButtonText), QColor(128, 0, 0));
    }
    for (const char* name : {"txtTitle", "txtHeader", "txtFooter"}) {
        QCOMPARE(fixture::find<QLineEdit>(formMain(), name)->palette().color(QPalette::Text), QColor(0, 0, 192));
    }
    auto* body = fixture::find<QPlainTextEdit>(formMain(), "txtText");
    QCOMPARE(body->palette().color(QPalette::Text), QColor(0, 0, 192));
    QCOMPARE(body->palette().color(QPalette::Base), QColor(254, 255, 225));
    QCOMPARE(body->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(body->tabChangesFocus());
    for (const char* name : {"txtMarginLeft", "txtMarginRight", "txtMarginTop", "txtMarginBottom"}) {
        QCOMPARE(fixture::find<QLineEdit>(formMain(), name)->palette().color(QPalette::Text), QColor(255, 0, 0));
    }
}

void TestFormMain::optionListsLightYellow_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("printer") << "cboPrinter";
    QTest::newRow("paper size, many entries") << "cboPaperSize";
    QTest::newRow("title size, narrow") << "cboTitleSize";
}

// Closed and opened, a list shows its designed background, not the style's gradient or white.
void TestFormMain::optionListsLightYellow() {
    QFETCH(QString, name);
    const QColor lightYellow(254, 255, 225);
    FormMain& form = formMain();
    form.showForm();
    auto* list = fixture::find<QComboBox>(form, name);
    const QImage closed = list->grab().toImage();
    // The field left of the arrow, inside the border.
    QCOMPARE(dominantColour(closed, QRect(2, 2, list->width() - 24, list->height() - 4)), lightYellow);

    list->showPopup();
    QAbstractItemView* opened = list->view();
    QTRY_VERIFY(opened->isVisible());
    const QImage entries = opened->viewport()->grab().toImage();
    list->hidePopup();
    QCOMPARE(dominantColour(entries, entries.rect()), lightYellow);
}

void TestFormMain::openedListsShowWholeNames() {
    const QString longName = QStringLiteral("A Family Whose Name Is Far Too Long For The Closed List");
    FormMain::setFontFamilySource([&] { return QStringList{"Verdana", longName}; });
    FormMain& form = formMain();
    form.showForm();
    auto* list = fixture::find<QComboBox>(form, "cboTitleFont");
    // The entries are drawn in the list's own font.
    const int needed = list->fontMetrics().horizontalAdvance(longName);
    QVERIFY(list->width() < needed);
    list->showPopup();
    QTRY_VERIFY(list->view()->isVisible());
    const int shown = list->view()->viewport()->width();
    list->hidePopup();
    QVERIFY2(shown > needed, qPrintable(QStringLiteral("%1 of %2 pixels").arg(shown).arg(needed)));
}

// Every check box's box lies inside its designed rectangle with its bottom edge drawn, and the
// stacked boxes of "Other options" do not touch.
void TestFormMain::checkBoxesDrawnWhole() {
    FormMain& form = formMain();
    form.showForm();
    QMap<int, QRect> otherOptions;
    for (QCheckBox* box : form.client()->findChildren<QCheckBox*>()) {
        const QByteArray name = box->objectName().toUtf8();
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        QVERIFY2(box->rect().contains(indicator), name);
        const QImage face = box->grab().toImage();
        const QColor background = face.pixelColor(box->width() - 1, 0);
        int edge = 0;
        for (int x = indicator.left(); x <= indicator.right(); ++x) {
            edge += face.pixelColor(x, indicator.bottom()).lightness() < background.lightness() - 40;
        }
        QVERIFY2(edge >= indicator.width() / 2, name);
        if (box->parentWidget()->objectName() == QLatin1String("Frame6")) {
            otherOptions.insert(box->y(), indicator.translated(box->pos()));
        }
    }
    QCOMPARE(otherOptions.size(), 5);
    const QList<QRect> stacked = otherOptions.values();
    for (int i = 1; i < stacked.size(); ++i) {
        QVERIFY(stacked[i].top() > stacked[i - 1].bottom() + 1);
    }
}

void TestFormMain::designTimeState() {
    FormMain& form = formMain();
    form.ensureLoaded();
    const QList<QCheckBox*> boxes = form.client()->findChildren<QCheckBox*>();
    QCOMPARE(boxes.size(), 17);
    for (QCheckBox* box : boxes) {
        QCOMPARE(box->checkState(), kCheckedAtDesignTime.contains(box->objectName()) ? Qt::Checked : Qt::Unchecked);
    }
    QVERIFY(fixture::find<QRadioButton>(form, "Option1(0)")->isChecked());
    QVERIFY(!fixture::find<QRadioButton>(form, "Option1(1)")->isChecked());
    QVERIFY(!fixture::find<QRadioButton>(form, "Option1(2)")->isChecked());
}

void TestFormMain::tabOrder() {
    FormMain& form = formMain();
    form.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), fixture::find<QWidget>(form, "Command1"));

    QStringList visited;
    for (int i = 0; i < kTabOrder.size(); ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, kTabOrder);

    // The option group is one stop: the selected button.
    auto* third = fixture::find<QRadioButton>(form, "Option1(2)");
    third->setChecked(true);
    fixture::find<QWidget>(form, "txtMarginBottom")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), third);
    QTest::keyClick(third, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cboLineSpacing"));
}

void TestFormMain::escapeAndEnterOutsideButtonsDoNothing() {
    FormMain& form = formMain();
    form.showForm();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    for (const char* name : {"cboCopies", "txtTitle", "Check5", "Option1(0)"}) {
        QWidget* widget = fixture::find<QWidget>(form, name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClick(widget, Qt::Key_Escape);
    }
    QTest::keyClick(fixture::find<QWidget>(form, "Command1"), Qt::Key_Escape);
    fixture::settle();
    QVERIFY(form.isVisible());
    QVERIFY(!WindowRegistry::instance().exists<FormStatus>());
    QVERIFY(!WindowRegistry::instance().exists<FormStart>());
}

void TestFormMain::listEntries_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selected");
    const QStringList bigSizes = numbers({8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28});
    const QStringList smallSizes = numbers({8, 9, 10, 11, 12});
    QTest::newRow("quality") << "cboPrintQuality"
                             << QStringList{"(Default Print Quality)", "Draft", "Low", "Medium", "High"} << 0;
    QTest::newRow("paper size") << "cboPaperSize" << kPaperSizes << 0;
    QTest::newRow("orientation") << "cboOrientation" << QStringList{"(Default Orientation)", "Portrait", "Landscape"}
                                 << 0;
    QTest::newRow("paper bin") << "cboPaperBin" << kPaperBins << 0;
    QTest::newRow("copies") << "cboCopies" << numbers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) << 0;
    QTest::newRow("title size") << "cboTitleSize" << bigSizes << 8;
    QTest::newRow("body size") << "cboTextSize" << bigSizes << 2;
    QTest::newRow("header size") << "cboHeaderSize" << smallSizes << 0;
    QTest::newRow("footer size") << "cboFooterSize" << smallSizes << 0;
    QTest::newRow("line spacing") << "cboLineSpacing" << QStringList{"Single", "1.5 Lines", "Double"} << 0;
}

void TestFormMain::listEntries() {
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    QFETCH(int, selected);
    auto* list = fixture::find<QComboBox>(formMain(), name);
    QCOMPARE(entries(list), expected);
    QCOMPARE(list->currentIndex(), selected);
}

void TestFormMain::printers_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << QStringList{} << 0 << QStringList{"(Default Printer)"};
    QTest::newRow("A, B, C") << QStringList{"A", "B", "C"} << 3 << QStringList{"(Default Printer)", "A", "B", "C"};
    QTest::newRow("negative count") << QStringList{"A"} << -1 << QStringList{"(Default Printer)"};
    QTest::newRow("count beyond the names") << QStringList{"A", "B"} << 5 << QStringList{"(Default Printer)", "A", "B"};
    QTest::newRow("count below the names")
        << QStringList{"A", "B", "C"} << 2 << QStringList{"(Default Printer)", "A", "B"};
}

void TestFormMain::printers() {
    QFETCH(QStringList, names);
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    QList<qint16> countsPassed;
    FormMain::setPrinterSource([&](qint16& reported) {
        countsPassed << reported;
        reported = static_cast<qint16>(count);
        return names;
    });
    auto* list = fixture::find<QComboBox>(formMain(), "cboPrinter");
    QCOMPARE(countsPassed, QList<qint16>{0});
    QCOMPARE(entries(list), expected);
    QCOMPARE(list->currentIndex(), 0);
}

void TestFormMain::printersFromTheComponent() {
    FormMain& form = formMain();
    auto* list = fixture::find<QComboBox>(form, "cboPrinter");
    qint16 count = 0;
    const QStringList installed = form.Zendrik1()->GetPrinters(count);
    QCOMPARE(entries(list), QStringList{"(Default Printer)"} + installed.mid(0, count));
    QCOMPARE(list->itemText(list->count() - 1), QString::fromLatin1(zendrik::kSaveAsPdfPrinter));
}

void TestFormMain::fontRule_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("expected");
    QTest::newRow("Tahoma 12, Verdana 47") << families(60, {{12, "Tahoma"}, {47, "Verdana"}}) << 47;
    QTest::newRow("Verdana 12, Tahoma 47") << families(60, {{12, "Verdana"}, {47, "Tahoma"}}) << 47;
    QTest::newRow("Times New Roman 3 only") << families(60, {{3, "Times New Roman"}}) << 3;
    QTest::newRow("Verdana only at 51") << families(60, {{51, "Verdana"}}) << 0;
    QTest::newRow("Tahoma at 50, the last position") << families(60, {{50, "Tahoma"}, {55, "Verdana"}}) << 50;
    QTest::newRow("lower-case verdana") << families(60, {{10, "verdana"}}) << 0;
    QTest::newRow("longer name") << families(60, {{10, "Verdana Pro"}, {11, "Tahoma "}}) << 0;
    QTest::newRow("none") << families(60, {}) << 0;
    QTest::newRow("fewer than 51") << families(9, {{5, "Tahoma"}}) << 5;
    QTest::newRow("empty") << QStringList{} << 0;
}

void TestFormMain::fontRule() {
    QFETCH(QStringList, names);
    QFETCH(int, expected);
    QCOMPARE(defaultFontIndex(names), expected);
}

void TestFormMain::fontLists_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("selected");
    QTest::newRow("Tahoma 12, Verdana 47") << families(60, {{12, "Tahoma"}, {47, "Verdana"}}) << 51 << 47;
    QTest::newRow("Times New Roman 3") << families(60, {{3, "Times New Roman"}}) << 51 << 3;
    QTest::newRow("Verdana only at 51") << families(60, {{51, "Verdana"}}) << 51 << 0;
    QTest::newRow("verdana") << families(60, {{20, "verdana"}}) << 51 << 0;
    QTest::newRow("nine families") << families(9, {{5, "Tahoma"}}) << 9 << 5;
}

void TestFormMain::fontLists() {
    QFETCH(QStringList, names);
    QFETCH(int, length);
    QFETCH(int, selected);
    FormMain::setFontFamilySource([&] { return names; });
    for (const char* name : {"cboTitleFont", "cboTextFont", "cboHeaderFont", "cboFooterFont"}) {
        auto* list = fixture::find<QComboBox>(formMain(), name);
        QCOMPARE(entries(list), names.mid(0, length));
        QCOMPARE(list->currentIndex(), selected);
    }
}

void TestFormMain::defaultTexts() {
    FormMain& form = formMain();
    for (const char* name : {"txtMarginLeft", "txtMarginRight", "txtMarginTop", "txtMarginBottom"}) {
        QCOMPARE(fixture::find<QLineEdit>(form, name)->text(), QStringLiteral("1440"));
    }
    QCOMPARE(fixture::find<QLineEdit>(form, "txtTitle")->text(), QStringLiteral("Orvanel Demo"));
    QCOMPARE(fixture::find<QLineEdit>(form, "txtHeader")->text(), QStringLiteral("Orvanel Document Header"));
    QCOMPARE(fixture::find<QLineEdit>(form, "txtFooter")->text(), QStringLiteral("Orvanel Document Footer"));
    const QString body = fixture::find<QPlainTextEdit>(form, "txtText")->toPlainText();
    const QStringList paragraphs = body.split(QStringLiteral("\n\n"));
    QCOMPARE(paragraphs.size(), 5);
    QVERIFY(paragraphs.first().startsWith(QStringLiteral("    Orvanel is a 32-bit ActiveX (OCX) control")));
    QVERIFY(!body.endsWith(QLatin1Char('\n')));
    QCOMPARE(QString(body).replace(QLatin1Char('\n'), QStringLiteral("\r\n")), demo::demonstrationText());
}

void TestFormMain::noticeBeforeTheWindowShows() {
    FormMain& form = formMain();
    form.ensureLoaded();
    QVERIFY(!form.isVisible());
    const QList<MessageRecord> history = MessageBox::history();
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().text,
             QStringLiteral("Nothing of the code in this form is required if you use the default properties of the "
                            "control to print your documents."));
    QCOMPARE(history.first().style, 48);
    QCOMPARE(history.first().title, QStringLiteral("ZendrikDemo"));

    // Centred on the screen while still hidden.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form.Left(), (screen.width() * 15 - form.Width()) / 2);
    QCOMPARE(form.Top(), (screen.height() * 15 - form.Height()) / 2);
}

// The load step only reads the printers: the component keeps the window's stored fonts.
void TestFormMain::componentKeepsItsStoredValues() {
    zendrik::Zendrik* component = formMain().Zendrik1();
    QCOMPARE(component->objectName(), QStringLiteral("Zendrik1"));
    for (zendrik::ZendrikFont* font : {&component->DocTitleFont(), &component->DocTextFont(),
                                       &component->DocHeaderFont(), &component->DocFooterFont()}) {
        QCOMPARE(font->Name(), QStringLiteral("Verdana"));
        QCOMPARE(font->Size(), 8.25);
        QVERIFY(!font->Bold());
        QVERIFY(!font->Italic());
    }
    QCOMPARE(component->DocTitle(), QString());
    QCOMPARE(component->MarginLeft(), qint16(1440));
}

void TestFormMain::reloadStartsAfresh() {
    FormMain& form = formMain();
    form.showForm();
    for (QCheckBox* box : form.client()->findChildren<QCheckBox*>()) {
        box->setChecked(!box->isChecked());
    }
    fixture::find<QRadioButton>(form, "Option1(2)")->setChecked(true);
    fixture::find<QComboBox>(form, "cboPaperSize")->setCurrentIndex(11);
    fixture::find<QLineEdit>(form, "txtMarginTop")->setText(QStringLiteral("99"));

    form.command2Click();
    QVERIFY(!form.isLoaded());
    QVERIFY(demo::window<FormStart>().isVisible());

    form.showForm();
    QVERIFY(form.isVisible());
    for (QCheckBox* box : form.client()->findChildren<QCheckBox*>()) {
        QCOMPARE(box->isChecked(), kCheckedAtDesignTime.contains(box->objectName()));
    }
    QVERIFY(fixture::find<QRadioButton>(form, "Option1(0)")->isChecked());
    auto* paper = fixture::find<QComboBox>(form, "cboPaperSize");
    QCOMPARE(entries(paper), kPaperSizes);
    QCOMPARE(paper->currentIndex(), 0);
    QCOMPARE(fixture::find<QLineEdit>(form, "txtMarginTop")->text(), QStringLiteral("1440"));
    QCOMPARE(fixture::messageTexts().count(fixture::messageTexts().first()), 2);
}

void TestFormMain::hidingKeepsTheLoadedState() {
    FormMain& form = formMain();
    form.showForm();
    fixture::find<QComboBox>(form, "cboCopies")->setCurrentIndex(4);
    form.hideForm();
    form.showForm();
    QCOMPARE(fixture::find<QComboBox>(form, "cboCopies")->currentIndex(), 4);
    QCOMPARE(fixture::find<QComboBox>(form, "cboCopies")->count(), 10);
    QCOMPARE(MessageBox::history().size(), 1);
}

QTEST_MAIN(TestFormMain)
#include "tst_formmain.moc"
