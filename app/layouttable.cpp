#include "layouttable.h"

#include "form.h"
#include "glyphbutton.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <vector>

namespace demo {
namespace {

QFont makeFont(const ControlFont& spec) {
    QFont font(spec.family);
    font.setPointSizeF(spec.pointSize);
    font.setBold(spec.bold);
    return font;
}

void applyColours(QWidget* widget, const ControlSpec& spec) {
    if (!spec.foreground && !spec.background) {
        return;
    }
    QPalette palette = widget->palette();
    if (spec.foreground) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            palette.setColor(role, *spec.foreground);
        }
    }
    if (spec.background) {
        palette.setColor(QPalette::Base, *spec.background);
        palette.setColor(QPalette::Button, *spec.background);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

QStyle* classicStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = QStyleFactory::create(QStringLiteral("Windows"));
        if (style) {
            style->setParent(QCoreApplication::instance());
        }
    }
    return style;
}

// An option list whose opened list is wide enough to read every entry whole, however narrow the
// closed list is designed (long font names).
class OptionListBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override {
        QAbstractItemView* entries = view();
        entries->setMinimumWidth(entries->sizeHintForColumn(0) + entries->verticalScrollBar()->sizeHint().width() +
                                 2 * entries->frameWidth());
        QComboBox::showPopup();
    }
};

// Under Fusion a list's colours come out as a washed-out gradient when closed and white when opened;
// a style sheet paints both in the designed colours. The border matches Fusion's text boxes, and an
// opened list scrolls through its entries instead of covering the screen.
QString optionListStyle(const ControlSpec& spec) {
    QString colours;
    if (spec.background) {
        colours += QStringLiteral("background: %1;").arg(spec.background->name());
    }
    if (spec.foreground) {
        colours += QStringLiteral("color: %1;").arg(spec.foreground->name());
    }
    return QStringLiteral("QComboBox { combobox-popup: 0; border: 1px solid #ababab; border-radius: 2px; "
                          "padding-left: 3px; %1 } QComboBox QAbstractItemView { %1 }")
        .arg(colours);
}

// A check box designed lower than the style's box gets a box one pixel lower than itself, so that it
// is drawn whole and stacked boxes keep a gap, instead of being cut off at the bottom.
void fitIndicator(QCheckBox* box) {
    const int height = box->height();
    if (box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box) >= height) {
        box->setStyleSheet(QStringLiteral("QCheckBox::indicator { width: %1px; height: %1px; }").arg(height - 1));
    }
}

QWidget* makeWidget(const ControlSpec& spec, QWidget* parent) {
    switch (spec.kind) {
    case ControlKind::Frame: {
        if (spec.caption.isEmpty()) {
            auto* frame = new QFrame(parent);
            // A captionless frame 30 twips high is a rule; otherwise a plain etched rectangle.
            frame->setFrameShape(spec.height <= 30 ? QFrame::HLine : QFrame::Box);
            frame->setFrameShadow(QFrame::Sunken);
            return frame;
        }
        auto* box = new QGroupBox(spec.caption, parent);
        // The caption sits on the etched border, and the rows place the frame's controls for that.
        if (QStyle* style = classicStyle()) {
            box->setStyle(style);
        }
        return box;
    }
    case ControlKind::Label: {
        auto* label = new QLabel(spec.caption, parent);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->setTextFormat(Qt::PlainText);
        // A label of fixed size shows its text from the top left and wraps it at word boundaries.
        if (!spec.autoSize) {
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
        }
        return label;
    }
    case ControlKind::OptionButton: {
        auto* button = new QRadioButton(spec.caption, parent);
        button->setChecked(spec.checked);
        return button;
    }
    case ControlKind::CheckBox: {
        auto* box = new QCheckBox(spec.caption, parent);
        box->setChecked(spec.checked);
        return box;
    }
    case ControlKind::CommandButton:
    case ControlKind::GraphicalButton: {
        QPushButton* button = spec.kind == ControlKind::GraphicalButton ? new GlyphButton(spec.caption, parent)
                                                                        : new QPushButton(spec.caption, parent);
        if (!spec.picture.isEmpty()) {
            button->setIcon(QIcon(spec.picture));
        }
        // Enter clicks the button that has the focus; no button is the window's default.
        button->setAutoDefault(true);
        button->setDefault(false);
        return button;
    }
    case ControlKind::ComboBox: {
        auto* list = new OptionListBox(parent);
        list->setEditable(false);
        if (spec.background || spec.foreground) {
            list->setStyleSheet(optionListStyle(spec));
        }
        return list;
    }
    case ControlKind::TextBox:
        return new QLineEdit(parent);
    case ControlKind::MultiLineTextBox: {
        auto* box = new QPlainTextEdit(parent);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Tab moves on to the next control, as in a single-line box.
        box->setTabChangesFocus(true);
        return box;
    }
    case ControlKind::Image: {
        auto* image = new QLabel(parent);
        image->setAlignment(Qt::AlignCenter);
        return image;
    }
    }
    return nullptr;
}

} // namespace

QWidget* createControl(const ControlSpec& spec, QWidget* parent) {
    QWidget* widget = makeWidget(spec, parent);
    widget->setObjectName(spec.name);
    widget->setFont(makeFont(spec.font));
    applyColours(widget, spec);
    widget->setGeometry(twipsToPixelRect(spec.left, spec.top, spec.width, spec.height));
    if (spec.autoSize) {
        widget->resize(widget->sizeHint());
    }
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        fitIndicator(box);
    }
    if (spec.tabIndex < 0 || spec.kind == ControlKind::Frame || spec.kind == ControlKind::Label ||
        spec.kind == ControlKind::Image) {
        widget->setFocusPolicy(Qt::NoFocus);
    }
    widget->show();
    return widget;
}

void setPicture(QLabel* label, const QPixmap& picture, bool border) {
    if (border) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(kPictureBorderPixels);
    } else {
        label->setFrameStyle(QFrame::NoFrame);
    }
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setPixmap(picture);
}

void createControls(std::span<const ControlSpec> table, QWidget* client) {
    for (const ControlSpec& spec : table) {
        QWidget* parent = client;
        if (!spec.container.isEmpty()) {
            parent = client->findChild<QWidget*>(spec.container);
            if (!parent) {
                throw ControlError(QStringLiteral("container %1 of %2 does not exist (yet)")
                                       .arg(spec.container, spec.name)
                                       .toStdString());
            }
        }
        createControl(spec, parent);
    }
}

void applyTabOrder(std::span<const ControlSpec> table, QWidget* client) {
    std::vector<const ControlSpec*> focusable;
    for (const ControlSpec& spec : table) {
        QWidget* widget = client->findChild<QWidget*>(spec.name);
        if (spec.tabIndex >= 0 && widget && widget->focusPolicy() != Qt::NoFocus) {
            focusable.push_back(&spec);
        }
    }
    std::stable_sort(focusable.begin(), focusable.end(),
                     [](const ControlSpec* a, const ControlSpec* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < focusable.size(); ++i) {
        QWidget::setTabOrder(client->findChild<QWidget*>(focusable[i - 1]->name),
                             client->findChild<QWidget*>(focusable[i]->name));
    }
}

} // namespace demo
