// The component's members as seen by Qt's meta-object: enum-typed codes, the font objects, and
// property writes that report a refused value instead of throwing through Qt's code.
#include <zendrik/zendrik.h>

namespace zendrik {

RefusedValue::~RefusedValue() = default;

namespace {

// Qt's meta-object code is not exception-safe: a refusal becomes the valueRefused signal.
template <class Set> void reportRefusal(Zendrik& component, Set&& set) {
    try {
        set();
    } catch (const RefusedValue& refused) {
        emit component.valueRefused(QString::fromUtf8(refused.what()));
    }
}

} // namespace

QStringList Zendrik::GetPrinters() const {
    qint16 count = 0;
    return GetPrinters(count);
}

ZendrikFont* Zendrik::titleFontObject() {
    return &DocTitleFont();
}

ZendrikFont* Zendrik::textFontObject() {
    return &DocTextFont();
}

ZendrikFont* Zendrik::headerFontObject() {
    return &DocHeaderFont();
}

ZendrikFont* Zendrik::footerFontObject() {
    return &DocFooterFont();
}

PrintQualityCode Zendrik::printQualityCode() const {
    return static_cast<PrintQualityCode>(PrintQuality());
}

void Zendrik::writePrintQuality(PrintQualityCode value) {
    reportRefusal(*this, [&] { setPrintQuality(static_cast<qint32>(value)); });
}

PaperSizeCode Zendrik::paperSizeCode() const {
    return static_cast<PaperSizeCode>(PaperSize());
}

void Zendrik::writePaperSize(PaperSizeCode value) {
    reportRefusal(*this, [&] { setPaperSize(static_cast<qint32>(value)); });
}

OrientationCode Zendrik::orientationCode() const {
    return static_cast<OrientationCode>(Orientation());
}

void Zendrik::writeOrientation(OrientationCode value) {
    reportRefusal(*this, [&] { setOrientation(static_cast<qint32>(value)); });
}

PaperBinCode Zendrik::paperBinCode() const {
    return static_cast<PaperBinCode>(PaperBin());
}

void Zendrik::writePaperBin(PaperBinCode value) {
    reportRefusal(*this, [&] { setPaperBin(static_cast<qint32>(value)); });
}

void Zendrik::writeCopies(qint32 value) {
    reportRefusal(*this, [&] { setMember(MemberId::Copies, value); });
}

void Zendrik::writeLineSpacing(qint32 value) {
    reportRefusal(*this, [&] { setLineSpacing(value); });
}

void Zendrik::writeMarginLeft(qint32 value) {
    reportRefusal(*this, [&] { setMember(MemberId::MarginLeft, value); });
}

void Zendrik::writeMarginRight(qint32 value) {
    reportRefusal(*this, [&] { setMember(MemberId::MarginRight, value); });
}

void Zendrik::writeMarginTop(qint32 value) {
    reportRefusal(*this, [&] { setMember(MemberId::MarginTop, value); });
}

void Zendrik::writeMarginBottom(qint32 value) {
    reportRefusal(*this, [&] { setMember(MemberId::MarginBottom, value); });
}

void Zendrik::writePrintMode(qint32 value) {
    reportRefusal(*this, [&] { setMember(MemberId::PrintMode, value); });
}

void ZendrikFont::writeSize(double points) {
    reportRefusal(owner_, [&] { setSize(points); });
}

} // namespace zendrik
