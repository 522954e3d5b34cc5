#pragma once
// Shared set-up of the advanced and progress window tests: a fresh set of windows for each case,
// message boxes answered unattended, the application's end recorded instead of carried out.

#include "FormMain/FormMain.h"
#include "application.h"
#include "messagebox.h"
#include "twips.h"
#include "windowregistry.h"

#include <QTest>
#include <QWidget>

namespace fixture {

struct EndRecorder {
    int ends = 0;
};

inline EndRecorder& endRecorder() {
    static EndRecorder recorder;
    return recorder;
}

// Once per test program.
inline void prepare() {
    demo::prepareApplication();
    demo::MessageBox::setUnattended(true);
    demo::WindowRegistry::instance().setExitFunction([](int) { ++endRecorder().ends; });
}

// Before each case.
inline void reset() {
    demo::WindowRegistry::instance().destroyAll();
    demo::MessageBox::clearHistory();
    demo::FormMain::setPrinterSource({});
    demo::FormMain::setFontFamilySource({});
    endRecorder().ends = 0;
}

// Lets the end check and other zero-delay work run.
inline void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

template <class W> W* find(demo::Form& form, const QString& name) {
    return form.control<W>(name);
}

inline QStringList messageTexts() {
    QStringList texts;
    for (const demo::MessageRecord& record : demo::MessageBox::history()) {
        texts << record.text;
    }
    return texts;
}

} // namespace fixture
