#pragma once
// A window's layout as data: one row per control, in twips, as designed. The windows build their
// controls from their table, and tests walk the same table against the live widgets.

#include <QColor>
#include <QString>

#include <optional>
#include <span>

class QLabel;
class QPixmap;
class QWidget;

namespace demo {

enum class ControlKind {
    Frame,
    Label,
    OptionButton,
    CheckBox,
    CommandButton,
    GraphicalButton, // a command button showing its picture centred above its caption
    ComboBox,
    TextBox,
    MultiLineTextBox, // word-wrapped, with a vertical scroll bar always shown
    Image,
};

struct ControlFont {
    QString family = QStringLiteral("Tahoma");
    double pointSize = 8.25;
    bool bold = false;
};

struct ControlSpec {
    QString name; // the objectName
    ControlKind kind;
    QString container; // objectName of the containing frame; empty for the window
    QString caption;
    int left;
    int top;
    int width;
    int height;
    int tabIndex = -1; // -1: none
    ControlFont font = {};
    std::optional<QColor> foreground = std::nullopt;
    std::optional<QColor> background = std::nullopt;
    bool autoSize = false;
    bool checked = false; // check box / option button design-time state
    QString picture = {}; // a graphical button's glyph (resource path)
};

// Creates one widget for the row, with its object name, caption, geometry (twips to pixels),
// font and colours, as a child of `parent`. Images get no picture; the window sets it.
QWidget* createControl(const ControlSpec& spec, QWidget* parent);

// Width of the border an image may have round its picture, in pixels.
inline constexpr int kPictureBorderPixels = 2;

// Shows `picture` at its own size in an image control, top left, inside a sunken 2-pixel border
// when `border` is set (the control is then 4 pixels wider and taller than the picture).
void setPicture(QLabel* image, const QPixmap& picture, bool border);

// Creates every row in order; containers must come before their children (ControlError
// otherwise). Returns nothing: the controls are found again by object name.
void createControls(std::span<const ControlSpec> table, QWidget* client);

// Puts the focus chain in the order of the rows' tab indexes.
void applyTabOrder(std::span<const ControlSpec> table, QWidget* client);

} // namespace demo
