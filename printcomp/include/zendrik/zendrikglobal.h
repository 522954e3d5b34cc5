#pragma once
// Names and codes every part of the component shares, and the export macro of the shared library.

#include <QObject>
#include <QtGlobal>

#include <cstddef>
#if __cplusplus >= 202002L && __has_include(<span>)
#include <span>
#endif

// Marks what libzendrik exports; everything else in the library is hidden.
#if defined(ZENDRIK_LIBRARY)
#define ZENDRIK_EXPORT Q_DECL_EXPORT
#else
#define ZENDRIK_EXPORT Q_DECL_IMPORT
#endif

namespace zendrik {
Q_NAMESPACE_EXPORT(ZENDRIK_EXPORT)

// Codes carried by PrintError, and by previewErrorCode(). The signal carries them as qint32; their names come from the
// meta-object: QMetaEnum::fromType<zendrik::ErrorCode>().valueToKey(code) gives "Cancelled".
enum class ErrorCode : qint32 {
    DocumentUnreadable = 1, // missing, unreadable, a directory or a binary file
    NoRoomForBody = 2,      // margins leave no room for one body line
    UnknownPrinter = 3,
    OutputFailed = 4,  // the PDF file could not be written
    SpoolerFailed = 5, // CUPS refused the job, could not be reached, or the printer lacks the paper or source
    Internal = 6,      // a fault of the component itself
    Cancelled = 7,     // CancelDoc() ended the job
    NoSuchPage = 8,    // the preview only: the document has no page of that number
};
Q_ENUM_NS(ErrorCode)

// The PrintQuality member's codes.
enum class PrintQualityCode : qint32 { Draft = 1, Low = 2, Medium = 3, High = 4 };
Q_ENUM_NS(PrintQualityCode)

// The PaperSize member's codes: positions in the paper-size list, named as <zendrik/papers.h>
// names them ("10x14" and "11x17", which cannot be names here, as Paper10x14 and Paper11x17).
enum class PaperSizeCode : qint32 {
    Letter = 1,
    LetterSmall,
    Tabloid,
    Ledger,
    Legal,
    Statement,
    Executive,
    A3,
    A4,
    A4Small,
    A5,
    B4,
    B5,
    Folio,
    Quarto,
    Paper10x14,
    Paper11x17,
    Note,
    Env9,
    Env10,
    Env11,
    Env12,
    Env14,
    CSheet,
    DSheet,
    ESheet,
    EnvDL,
    EnvC3,
    EnvC4,
    EnvC5,
    EnvC6,
    EnvC65,
    EnvB4,
    EnvB5,
    EnvB6,
    EnvItaly,
    EnvMonarch,
    EnvPersonal,
    FanfoldUS,
    FanfoldStdGerman,
    FanfoldLglGerman,
};
Q_ENUM_NS(PaperSizeCode)

// The Orientation member's codes.
enum class OrientationCode : qint32 { Portrait = 1, Landscape = 2 };
Q_ENUM_NS(OrientationCode)

// The PaperBin member's codes: positions in the paper-bin list.
enum class PaperBinCode : qint32 {
    Upper = 1,
    Lower,
    Middle,
    Manual,
    Envelope,
    EnvManual,
    Auto,
    Tractor,
    SmallFmt,
    LargeFmt,
    LargeCapacity,
    Cassette,
};
Q_ENUM_NS(PaperBinCode)

// A read-only view of one of the component's tables (the public headers need no more than C++17;
// in C++20 it converts to std::span).
template <class T> class TableView {
public:
    constexpr TableView() = default;
    constexpr TableView(const T* data, std::size_t size) : data_(data), size_(size) {}

    constexpr const T* begin() const { return data_; }
    constexpr const T* end() const { return data_ + size_; }
    constexpr const T* data() const { return data_; }
    constexpr std::size_t size() const { return size_; }
    constexpr bool empty() const { return size_ == 0; }
    constexpr const T& operator[](std::size_t i) const { return data_[i]; }
#if __cplusplus >= 202002L && __has_include(<span>)
    constexpr operator std::span<const T>() const {
        return {data_, size_};
    }
#endif

private:
    const T* data_ = nullptr;
    std::size_t size_ = 0;
};

// Name of the built-in printer that writes PDF files. Always the last entry of GetPrinters().
inline constexpr const char* kSaveAsPdfPrinter = "Save as PDF";

// Environment variable naming the folder that "Save as PDF" writes into. Unset: the user's
// documents folder.
inline constexpr const char* kPdfDirEnv = "ZENDRIK_PDF_DIR";

// Environment variable: how long, in seconds, one request to the CUPS scheduler may wait for its
// answer (a piece of a document being sent counts as one) before the job fails saying there was
// no answer. Unset: kDefaultCupsTimeoutSeconds. Listing the printers waits 0.8 s at most.
inline constexpr const char* kCupsTimeoutEnv = "ZENDRIK_CUPS_TIMEOUT";
inline constexpr int kDefaultCupsTimeoutSeconds = 30;

} // namespace zendrik
