#pragma once
// The progress window: stands in for the advanced window while it prints, with a blinking printer
// picture and the page being printed. Closing it, by whatever means, brings the advanced window back.

#include "form.h"
#include "layouttable.h"

#include <span>

class QLabel;
class QPushButton;
class QTimer;

namespace demo {

class FormStatus : public Form {
    Q_OBJECT
public:
    FormStatus();
    ~FormStatus() override;

    // The window's layout, one row per control, in twips.
    static std::span<const ControlSpec> layoutTable();

    // Controls; each loads the window (hidden) when it is not loaded.
    QLabel* Label1();
    QTimer* Timer1();
    QLabel* Image1(int index);
    QPushButton* Command1();

    // Sets the progress text; the label keeps its size to the text and stays centred in its frame.
    void setLabel1Caption(const QString& caption);

    // Names the file a completed job wrote, in the tool tips of the progress text and picture, so
    // the designed layout stays as it is. An empty path names none.
    void showSavedFile(const QString& path);

    // Which animation frame the next tick shows: the lit one when true. Kept across unloads.
    bool frameFlag() const { return frameFlag_; }

    // One animation step.
    void timer1Tick();
    // "OK".
    void command1Click();

protected:
    void createControls(QWidget* client) override;
    void onLoad() override;
    void onUnload() override;
    bool event(QEvent* event) override;

private:
    bool frameFlag_ = false;
};

} // namespace demo
