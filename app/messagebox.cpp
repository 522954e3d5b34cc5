#include "messagebox.h"

#include "windowregistry.h"

#include <QApplication>
#include <QMessageBox>
#include <QQueue>

namespace demo {
namespace {

struct UnattendedState {
    bool on = false;
    QQueue<int> answers;
    QList<MessageRecord> history;
};

UnattendedState& state() {
    static UnattendedState s;
    return s;
}

int defaultAnswer(int style) {
    return (style & 0x7) == kYesNo ? kAnswerYes : kAnswerOk;
}

int showInteractive(const QString& text, int style, const QString& title, const QString& informativeText) {
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setInformativeText(informativeText);
    switch (style & 0x70) {
    case kExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case kCritical:
        box.setIcon(QMessageBox::Critical);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x7) == kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    box.setWindowModality(Qt::ApplicationModal);
    const int pressed = box.exec();
    switch (pressed) {
    case QMessageBox::Yes:
        return kAnswerYes;
    case QMessageBox::No:
        return kAnswerNo;
    default:
        return kAnswerOk;
    }
}

} // namespace

int MessageBox::show(const QString& text, int style, const QString& title, const QString& informativeText) {
    const QString shownTitle = title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : title;
    int answer;
    if (state().on) {
        state().history.append({text, style, shownTitle, informativeText});
        answer = state().answers.isEmpty() ? defaultAnswer(style) : state().answers.dequeue();
    } else {
        answer = showInteractive(text, style, shownTitle, informativeText);
    }
    // The box may have been the only thing on screen; look again once the handler returns.
    WindowRegistry::instance().scheduleEndCheck();
    return answer;
}

void MessageBox::setUnattended(bool on) {
    state().on = on;
}

bool MessageBox::unattended() {
    return state().on;
}

void MessageBox::queueAnswer(int answer) {
    state().answers.enqueue(answer);
}

QList<MessageRecord> MessageBox::history() {
    return state().history;
}

void MessageBox::clearHistory() {
    state().history.clear();
    state().answers.clear();
}

} // namespace demo
