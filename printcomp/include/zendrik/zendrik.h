#pragma once
// The Zendrik print component: lays out a document made of a title, a body, a page header and a
// page footer, each in its own font, and prints it on a CUPS queue or into a PDF file.
//
// Usage, once the program has created its QGuiApplication (see Needs):
//     zendrik::Zendrik printer;
//     printer.setDocTitle("Orvanel Demo");
//     printer.setDocText("Orvanel greatly simplifies printing documents.");
//     printer.PrintDoc();               // default printer; "Save as PDF" when the system has none
//
// Threading: create and use the component on one thread that runs a Qt event loop (normally the
// GUI thread). PrintDoc() never blocks: it freezes a snapshot of every member, queues the job and
// returns. Layout and output run on threads of their own; the events PrintingPage, PrintComplete
// and PrintError arrive on the component's own thread. Every job ends with exactly one of
// PrintComplete or PrintError.
//
// Cancelling: CancelDoc() stops the running job within half a second and drops the queued ones;
// each ends with PrintError(ErrorCode::Cancelled) and leaves nothing behind: no PDF file, no
// temporary file, and a job already created at a CUPS scheduler is cancelled there.
//
// Lifetime: destroying the component never waits. Jobs already queued are the user's prints and
// still finish; their events are no longer delivered. When the application object is destroyed
// (the normal end of a Qt program), its destruction waits for them first. Call CancelDoc() before
// destroying the component to drop them instead.
//
// Needs: a QGuiApplication (or QApplication) object, created before the component. The component
// measures text with Qt's fonts, which only a GUI application provides; a program that shows no
// window still creates one. On a machine without a display, run it with the offscreen platform
// (QT_QPA_PLATFORM=offscreen). Link the CMake target Zendrik::Zendrik or the pkg-config module
// zendrik; the public headers need C++17, which the CMake target asks for.
//
// Preview: PreviewPageCount() and PreviewPage() draw the pages as they would print, on the
// calling thread, from the same page descriptions the PDF is written from:
//     const int pages = printer.PreviewPageCount();    // 0: printer.previewError() says why
//     const QImage first = printer.PreviewPage(1, 96);
//
// Refused values: a setter given a value the component cannot print with throws
// zendrik::RefusedValue, whose what() names the member, the value and what is accepted. The
// member keeps its previous value.
//
// Properties: every member is also a Q_PROPERTY of its own name, so that property("DocTitle"),
// setProperty("PaperSize", "A4"), QML and scripting hosts reach it. The code members (PrintQuality,
// PaperSize, Orientation, PaperBin) are properties of the Q_ENUM types of <zendrik/zendrikglobal.h>:
// they read as the enum (QVariant::toInt() gives the code, toString() its name) and take a code or a
// name. The font members are QObject* properties: the component's own ZendrikFont objects. The
// meta-object never sees an exception: setProperty() with a value a setter would refuse leaves
// the member as it was and raises valueRefused(description) instead; setProperty() returns false
// only when the value cannot be converted to the property's type at all (a name that is not a
// code's). All members share one change signal, settingsChanged() (a font object's properties
// have the object's own changed()).

#include <zendrik/members.h>
#include <zendrik/zendrikfont.h>
#include <zendrik/zendrikglobal.h>

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <stdexcept>

namespace zendrik {

struct DesignTimeProperties;

// Thrown by a setter that refuses a value.
class ZENDRIK_EXPORT RefusedValue : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
    ~RefusedValue() override;
};

class ZENDRIK_EXPORT Zendrik : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString DocTitle READ DocTitle WRITE setDocTitle NOTIFY settingsChanged)
    Q_PROPERTY(QString DocText READ DocText WRITE setDocText NOTIFY settingsChanged)
    Q_PROPERTY(QString DocHeader READ DocHeader WRITE setDocHeader NOTIFY settingsChanged)
    Q_PROPERTY(QString DocFooter READ DocFooter WRITE setDocFooter NOTIFY settingsChanged)
    Q_PROPERTY(QString DocFile READ DocFile WRITE setDocFile NOTIFY settingsChanged)
    Q_PROPERTY(bool DocFileAllData READ DocFileAllData WRITE setDocFileAllData NOTIFY settingsChanged)
    Q_PROPERTY(zendrik::ZendrikFont* DocTitleFont READ titleFontObject CONSTANT)
    Q_PROPERTY(zendrik::ZendrikFont* DocTextFont READ textFontObject CONSTANT)
    Q_PROPERTY(zendrik::ZendrikFont* DocHeaderFont READ headerFontObject CONSTANT)
    Q_PROPERTY(zendrik::ZendrikFont* DocFooterFont READ footerFontObject CONSTANT)
    Q_PROPERTY(
        zendrik::PrintQualityCode PrintQuality READ printQualityCode WRITE writePrintQuality NOTIFY settingsChanged)
    Q_PROPERTY(zendrik::PaperSizeCode PaperSize READ paperSizeCode WRITE writePaperSize NOTIFY settingsChanged)
    Q_PROPERTY(zendrik::OrientationCode Orientation READ orientationCode WRITE writeOrientation NOTIFY settingsChanged)
    Q_PROPERTY(zendrik::PaperBinCode PaperBin READ paperBinCode WRITE writePaperBin NOTIFY settingsChanged)
    Q_PROPERTY(qint32 Copies READ Copies WRITE writeCopies NOTIFY settingsChanged)
    Q_PROPERTY(qint32 LineSpacing READ LineSpacing WRITE writeLineSpacing NOTIFY settingsChanged)
    Q_PROPERTY(qint32 MarginLeft READ MarginLeft WRITE writeMarginLeft NOTIFY settingsChanged)
    Q_PROPERTY(qint32 MarginRight READ MarginRight WRITE writeMarginRight NOTIFY settingsChanged)
    Q_PROPERTY(qint32 MarginTop READ MarginTop WRITE writeMarginTop NOTIFY settingsChanged)
    Q_PROPERTY(qint32 MarginBottom READ MarginBottom WRITE writeMarginBottom NOTIFY settingsChanged)
    Q_PROPERTY(qint32 PrintMode READ PrintMode WRITE writePrintMode NOTIFY settingsChanged)
    Q_PROPERTY(bool PrintPageNumbers READ PrintPageNumbers WRITE setPrintPageNumbers NOTIFY settingsChanged)
    Q_PROPERTY(bool PrintDateTime READ PrintDateTime WRITE setPrintDateTime NOTIFY settingsChanged)
    Q_PROPERTY(bool DrawBorder READ DrawBorder WRITE setDrawBorder NOTIFY settingsChanged)
    Q_PROPERTY(bool LineBelowHeader READ LineBelowHeader WRITE setLineBelowHeader NOTIFY settingsChanged)
    Q_PROPERTY(bool LineAboveFooter READ LineAboveFooter WRITE setLineAboveFooter NOTIFY settingsChanged)
    Q_PROPERTY(QString outputFileName READ outputFileName WRITE setOutputFileName NOTIFY settingsChanged)
    Q_PROPERTY(QString lastOutputPath READ lastOutputPath NOTIFY PrintComplete)
    Q_PROPERTY(QString lastNotice READ lastNotice NOTIFY PrintComplete)
    Q_PROPERTY(qint64 lastBoxedCharacters READ lastBoxedCharacters NOTIFY PrintComplete)
public:
    // A component with the component's own defaults: fonts "Sans Serif" 10 pt (title 16 pt),
    // A4 portrait, one copy, single spacing, 1-inch margins, no page numbers, no date, no
    // border, no rules.
    explicit Zendrik(QObject* parent = nullptr);
    // A component that takes on a stored design-time property set (fonts and extent).
    explicit Zendrik(const DesignTimeProperties& stored, QObject* parent = nullptr);
    // Returns at once; queued and running jobs go on without delivering events (see Lifetime).
    ~Zendrik() override;

    Zendrik(const Zendrik&) = delete;
    Zendrik& operator=(const Zendrik&) = delete;

    // Document texts. Line breaks may be CR LF, LF or CR. Default: all empty.
    QString DocTitle() const;
    void setDocTitle(const QString& value);
    QString DocText() const;
    void setDocText(const QString& value);
    QString DocHeader() const;
    void setDocHeader(const QString& value);
    QString DocFooter() const;
    void setDocFooter(const QString& value);

    // "" prints the four text members; otherwise the full path of a text file to print.
    QString DocFile() const;
    void setDocFile(const QString& value);
    // With a file: true = the file gives title, header, footer and body; false = body only.
    // Default false.
    bool DocFileAllData() const;
    void setDocFileAllData(bool value);

    // The component's own font objects; a change made through the reference is what prints.
    ZendrikFont& DocTitleFont();
    ZendrikFont& DocTextFont();
    ZendrikFont& DocHeaderFont();
    ZendrikFont& DocFooterFont();

    // Printer settings. Codes as in the member table (<zendrik/members.h>), named by the enums
    // PrintQualityCode, PaperSizeCode, OrientationCode and PaperBinCode.
    qint32 PrintQuality() const; // 1 Draft, 2 Low, 3 Medium, 4 High. Default 3.
    void setPrintQuality(qint32 value);
    qint32 PaperSize() const; // 1 to 41, positions of the paper-size list. Default 9 (A4).
    void setPaperSize(qint32 value);
    qint32 Orientation() const; // 1 Portrait, 2 Landscape. Default 1.
    void setOrientation(qint32 value);
    // 1 to 12, positions of the paper-bin list. Default 7 (Auto: the printer chooses).
    qint32 PaperBin() const;
    void setPaperBin(qint32 value);
    qint16 Copies() const; // 1 or more. Default 1.
    void setCopies(qint16 value);

    // 0 or 1 single, 2 one and a half lines, 3 double. Default 1.
    qint32 LineSpacing() const;
    void setLineSpacing(qint32 value);

    // Margins in twips (1440 to the inch), measured from the paper's edges, 0 to 32767. Default
    // 1440. Margins that leave no room for a body line end the job with PrintError.
    qint16 MarginLeft() const;
    void setMarginLeft(qint16 value);
    qint16 MarginRight() const;
    void setMarginRight(qint16 value);
    qint16 MarginTop() const;
    void setMarginTop(qint16 value);
    qint16 MarginBottom() const;
    void setMarginBottom(qint16 value);

    // Accepted for compatibility: 1, the only value it takes. Default 1.
    qint16 PrintMode() const;
    void setPrintMode(qint16 value);

    // Options. Default false.
    bool PrintPageNumbers() const; // "Page N of M" on every page
    void setPrintPageNumbers(bool value);
    bool PrintDateTime() const; // the job's start time at the bottom of every page
    void setPrintDateTime(bool value);
    bool DrawBorder() const; // rectangle round the area inside the margins
    void setDrawBorder(bool value);
    bool LineBelowHeader() const;
    void setLineBelowHeader(bool value);
    bool LineAboveFooter() const;
    void setLineAboveFooter(bool value);

    // Prints the document as the members stand, on the system's default printer ("Save as PDF"
    // when the system has none). Returns at once; the outcome arrives as events.
    Q_INVOKABLE void PrintDoc();
    // Prints on the named printer, as GetPrinters() lists it; "" means the default printer. A
    // printer's own URI ("ipp://host:631/ipp/print", "ipps://...") prints on it directly, without
    // a queue: driverless (IPP Everywhere) printers take the PDF as it is.
    Q_INVOKABLE void PrintDoc(const QString& printerName);
    // Cancels the running job and every queued one of this component; each ends with
    // PrintError(ErrorCode::Cancelled). Returns at once.
    Q_INVOKABLE void CancelDoc();

    // Print preview of the document as the members and the file stand at the call, on the calling
    // thread (the component's). Meant for a few pages at a time; nothing is printed.
    //
    // The number of pages PrintDoc would print (with page numbers on, the M of "Page N of M").
    // The first call after a member or the file changed reads the whole document once to count
    // them, as printing with page numbers does. 0 when the document cannot be printed (the file
    // cannot be read, the margins leave no room): previewError() says why.
    int PreviewPageCount();
    // Page `page` (from 1) as a picture of the whole sheet at `dpi` dots per inch (more than 0, at
    // most 1200; the picture carries it): white paper with the margins, header, footer, rules,
    // border, page numbers and date (the time of the call) as they would print, the same glyphs in
    // the same fonts as the PDF. A page is laid out from the nearest page start known before it; the
    // pages between are laid out without being drawn, and their starts kept: asking for page 5,000
    // first lays out the 4,999 before it, and afterwards any page up to there costs one page.
    // Null when it cannot be drawn: previewError() says why, and previewErrorCode() is
    // ErrorCode::NoSuchPage for a page the document does not have. Throws RefusedValue for a
    // resolution out of range.
    QImage PreviewPage(int page, qreal dpi);
    // Why the last PreviewPageCount() or PreviewPage() call gave nothing, in words for the user (as
    // PrintError would say it for a print); empty after a call that succeeded, and before the first.
    QString previewError() const;
    // Its code, one of zendrik::ErrorCode; 0 when previewError() is empty.
    qint32 previewErrorCode() const;

    // The installed printers followed by "Save as PDF". Sets count to the number of names.
    QStringList GetPrinters(qint16& count) const;
    // The same list, for callers that take the count from the list.
    Q_INVOKABLE QStringList GetPrinters() const;
    // The printer PrintDoc() uses: the system's default, or "Save as PDF" when there is none.
    Q_INVOKABLE QString defaultPrinter() const;

    // Generic access through the member table, as a scripting host or a command line would use
    // it. Names are those of the table; font sub-members are "DocTitleFont.Name", ".Size",
    // ".Bold", ".Italic", ".Underline". Text values are converted as the typed setters expect
    // ("true"/"false"/"-1"/"0" for booleans). Throws RefusedValue for an unknown name or an
    // unacceptable value.
    void setMember(const QString& name, const QVariant& value);
    void setMember(quint32 memberId, const QVariant& value);
    QVariant member(const QString& name) const;

    // Where "Save as PDF" writes: empty (the default) for a new file named after the title in the
    // PDF folder (see kPdfDirEnv); otherwise exactly this file, replaced when the job completes.
    // A symbolic link is followed and its target written; a FIFO or a character device there is
    // written into as a stream, and so is "/dev/stdout" (or "/dev/fd/N"): the descriptor as it is
    // at PrintDoc. Nothing but a regular file is ever replaced, and a path that is the job's
    // document file (by any name) is refused. Taken by the next PrintDoc(); a job already queued
    // keeps the path it was queued with.
    QString outputFileName() const;
    void setOutputFileName(const QString& path);
    // The PDF file the last completed job wrote; empty when that job went to a printer, and before
    // the first one.
    QString lastOutputPath() const;
    // The CUPS job id of the last completed job on a printer (lp reports it as "QUEUE-ID"); 0
    // after a "Save as PDF" job or before any job.
    qint32 lastJobId() const;
    // The number of pages of the job being printed when it is known at its PrintingPage events;
    // pages are laid out in one pass (each page's "Page N of M" is completed once the last page
    // is laid out), so today it is 0 while a job prints.
    qint32 pageCount() const;
    // What the user of the last completed job should still be told (for example that the queue is
    // stopped and the job waits in it); empty when nothing.
    QString lastNotice() const;
    // How many characters the last completed job printed as hollow boxes, because no installed
    // font has them (0 when every character had a glyph, and before the first job).
    qint64 lastBoxedCharacters() const;

    // Jobs queued or running on this component.
    int pendingJobs() const;
    // Blocks until every queued job has finished and its events have been delivered; for
    // command-line callers without an event loop of their own. Returns false on timeout.
    bool waitForIdle(int timeoutMs = -1);

signals:
    // Just before page `page` (1-based) is written.
    void PrintingPage(qint32 page);
    // The job has been written completely (PDF file renamed into place, or the whole job
    // accepted by the spooler).
    void PrintComplete();
    // The job failed or was cancelled; nothing of it remains. `code` is one of zendrik::ErrorCode
    // (static_cast<ErrorCode>(code); its name from QMetaEnum::fromType<ErrorCode>()),
    // `description` says what happened in words for the user.
    void PrintError(qint32 code, const QString& description);

    // A member's value changed, through a setter, setMember() or a property write.
    void settingsChanged();
    // A property write (setProperty, QML) was refused; the member keeps its value. `description`
    // is what RefusedValue::what() would have said.
    void valueRefused(const QString& description);

    // Every accepted put, in call order: the member's id, for a font sub-member the font
    // member's id and the sub-member (FontMember), and the value. Lets hosts and tests observe
    // exactly what a caller sent.
    void memberChanged(quint32 memberId, int fontMember, const QVariant& value);
    // PrintDoc was called; the job is queued with this printer name.
    void printRequested(const QString& printerName);

private:
    friend class ZendrikFont;
    void fontChanged(const ZendrikFont& font, FontMember what, const QVariant& value);

    // The meta-object's accessors (api/zendrikproperties.cpp): typed as the enums, and writes that
    // report a refusal with valueRefused instead of throwing through Qt. The 16-bit members are
    // written as 32-bit properties, so that a value beyond 16 bits is refused, not cut.
    ZendrikFont* titleFontObject();
    ZendrikFont* textFontObject();
    ZendrikFont* headerFontObject();
    ZendrikFont* footerFontObject();
    PrintQualityCode printQualityCode() const;
    void writePrintQuality(PrintQualityCode value);
    PaperSizeCode paperSizeCode() const;
    void writePaperSize(PaperSizeCode value);
    OrientationCode orientationCode() const;
    void writeOrientation(OrientationCode value);
    PaperBinCode paperBinCode() const;
    void writePaperBin(PaperBinCode value);
    void writeCopies(qint32 value);
    void writeLineSpacing(qint32 value);
    void writeMarginLeft(qint32 value);
    void writeMarginRight(qint32 value);
    void writeMarginTop(qint32 value);
    void writeMarginBottom(qint32 value);
    void writePrintMode(qint32 value);
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace zendrik
