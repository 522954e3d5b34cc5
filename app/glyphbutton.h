#pragma once
// A graphical command button: its glyph centred above its caption, as the platform's graphical
// buttons show them.

#include <QPushButton>

namespace demo {

class GlyphButton : public QPushButton {
    Q_OBJECT
public:
    // Edge of the square the glyph is drawn in, in pixels.
    static constexpr int kGlyphPixels = 32;

    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace demo
