#include "FormMain/FormMain.h"

namespace demo {

FormMain::FormMain() : Form(QStringLiteral("FormMain")) {
    setWindowTitle(QStringLiteral("Orvanel Demo"));
    setClientSizeTwips(8985, 8100);
}

void FormMain::createControls(QWidget*) {}

} // namespace demo
