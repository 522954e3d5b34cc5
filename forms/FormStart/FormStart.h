#pragma once
// The start window: offers the simple and the advanced demonstration, describes the chosen one,
// and runs the simple one on its own print component.

#include "form.h"
#include "layouttable.h"

#include <span>

class QLabel;
class QPushButton;
class QRadioButton;

namespace zendrik {
class Zendrik;
}

namespace demo {

class FormStart : public Form {
    Q_OBJECT
public:
    FormStart();

    // The designed controls, in tab order, then those without a tab position.
    static std::span<const ControlSpec> layout();
    // The description of demonstration `index` (0 simple, 1 advanced); empty for any other index.
    static QString description(int index);

    // Controls. Each accessor loads the window, hidden, when it is not loaded.
    QRadioButton* option1(int index);
    QLabel* label1();
    QPushButton* cmdGo();
    QPushButton* cmdExit();
    QLabel* image1();
    zendrik::Zendrik& zendrik1();

    // Handlers.
    void option1Click(qint16 index);
    void cmdGoClick();
    void cmdExitClick();
    void zendrik1PrintComplete();
    // A failed simple demonstration is reported, with the component's description.
    void zendrik1PrintError(qint32 code, const QString& description);

protected:
    void createControls(QWidget* client) override;
    void onLoad() override;

private:
    void runSimpleDemonstration();
    void runAdvancedDemonstration();
};

} // namespace demo
