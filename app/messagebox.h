#pragma once
// Every message box of the application goes through here, so that tests can answer boxes ahead
// of time without a person.

#include <QList>
#include <QString>

namespace demo {

inline constexpr const char* kApplicationTitle = "ZendrikDemo";

// Style values combine buttons and icon, as the windows pass them.
enum MessageStyle : int {
    kOkOnly = 0,
    kYesNo = 4,
    kCritical = 16,
    kExclamation = 48,
};

// Answers.
enum MessageAnswer : int {
    kAnswerOk = 1,
    kAnswerYes = 6,
    kAnswerNo = 7,
};

struct MessageRecord {
    QString text;
    int style = 0;
    QString title;
    QString informativeText;
};

class MessageBox {
public:
    // Shows an application-modal box and returns the answer. An empty title gives the
    // application's title. The informative text, when given, stands below the text and says why.
    static int show(const QString& text, int style = kOkOnly, const QString& title = {},
                    const QString& informativeText = {});

    // Unattended mode, for tests: boxes are recorded instead of shown, and answered with the
    // queued answers in order, or with the box's default button when none is queued.
    static void setUnattended(bool on);
    static bool unattended();
    static void queueAnswer(int answer);
    static QList<MessageRecord> history();
    static void clearHistory();
};

} // namespace demo
