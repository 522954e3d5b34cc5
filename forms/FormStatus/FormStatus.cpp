#include "FormStatus/FormStatus.h"

namespace demo {

FormStatus::FormStatus() : Form(QStringLiteral("FormStatus")) {
    setWindowTitle(QStringLiteral("Print Progress..."));
    setClientSizeTwips(2490, 2100);
}

void FormStatus::createControls(QWidget*) {}

} // namespace demo
