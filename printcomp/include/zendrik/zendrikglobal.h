#pragma once
// Names and codes every part of the component shares.

#include <QtGlobal>

namespace zendrik {

// Codes carried by PrintError, and by previewErrorCode().
enum class ErrorCode : qint32 {
    DocumentUnreadable = 1, // missing, unreadable, a directory or a binary file
    NoRoomForBody = 2,      // margins leave no room for one body line
    UnknownPrinter = 3,
    OutputFailed = 4,  // the PDF file could not be written
    SpoolerFailed = 5, // CUPS refused the job or could not be reached
    Internal = 6,      // a fault of the component itself
    Cancelled = 7,     // CancelDoc() ended the job
    NoSuchPage = 8,    // the preview only: the document has no page of that number
};

// Name of the built-in printer that writes PDF files. Always the last entry of GetPrinters().
inline constexpr const char* kSaveAsPdfPrinter = "Save as PDF";

// Environment variable naming the folder that "Save as PDF" writes into. Unset: the user's
// documents folder.
inline constexpr const char* kPdfDirEnv = "ZENDRIK_PDF_DIR";

} // namespace zendrik
