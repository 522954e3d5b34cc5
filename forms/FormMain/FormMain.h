#pragma once
// The advanced window: every printer and document setting of the print component, the document
// contents, and printing with the progress window standing in while the component works.

#include "form.h"
#include "layouttable.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <span>

class QComboBox;

namespace zendrik {
class Zendrik;
}

namespace demo {

// How many of the display's font families the font lists offer (positions 0 to 50).
inline constexpr int kFontListLength = 51;

// The position, among the first kFontListLength families, that the font lists start on: the last
// one named exactly "Verdana", "Tahoma" or "Times New Roman"; 0 when none is.
int defaultFontIndex(const QStringList& families);

class FormMain : public Form {
    Q_OBJECT
public:
    FormMain();
    ~FormMain() override;

    // The window's layout, one row per control, in twips.
    static std::span<const ControlSpec> layoutTable();

    // Where the load step takes the installed printers and the display's fonts from. An empty
    // function restores the component's GetPrinters and displayFontFamilies(); tests give fixed lists.
    using PrinterSource = std::function<QStringList(qint16& count)>;
    using FontFamilySource = std::function<QStringList()>;
    static void setPrinterSource(PrinterSource source);
    static void setFontFamilySource(FontFamilySource source);

    // The window's print component; loads the window (hidden) when it is not loaded.
    zendrik::Zendrik* Zendrik1();

    // The printer chosen at the last ApplySettings; "" for the default printer.
    QString PrinterName() const { return printerName_; }

    // Sends every setting shown to Zendrik1. When a margin box holds no usable number it tells
    // the user which one, sends nothing and returns false.
    bool ApplySettings();

    // Click handlers of "Print Document" and "Exit".
    void command1Click();
    void command2Click();

protected:
    void createControls(QWidget* client) override;
    void onLoad() override;

private:
    QComboBox* list(const char* name);
    bool isChecked(const QString& name);
    struct FontControls;
    void applyFont(const FontControls& controls);

    void zendrik1PrintingPage(qint32 page);
    void zendrik1PrintComplete();
    // "Print error!", with the component's description of the failure below it.
    void zendrik1PrintError(qint32 code, const QString& description);

    QString printerName_;
};

} // namespace demo
