#include "FormStart/FormStart.h"

namespace demo {

FormStart::FormStart() : Form(QStringLiteral("FormStart")) {
    setWindowTitle(QStringLiteral("Orvanel Demo"));
    setClientSizeTwips(4710, 3825);
}

void FormStart::createControls(QWidget*) {}

} // namespace demo
