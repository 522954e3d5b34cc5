#pragma once
// Centres a window on the primary screen. Every quantity is in twips, in single precision, with
// no truncation and no clamping: a window larger than the screen gets a negative position.

#include <stdexcept>

namespace demo {

// Raised when a centring computation flags an invalid operation, a division by zero or an
// overflow; the coordinate concerned is left as it was.
class FloatingPointError : public std::runtime_error {
public:
    FloatingPointError() : std::runtime_error("Floating-point error in CenterForm") {}
};

// What CenterForm needs of a window.
class CenterableWindow {
public:
    virtual ~CenterableWindow() = default;
    virtual float Width() const = 0; // outer width, twips
    virtual float Height() const = 0;
    virtual void setLeft(float twips) = 0;
    virtual void setTop(float twips) = 0;
};

// What CenterForm needs of the screen.
class ScreenExtent {
public:
    virtual ~ScreenExtent() = default;
    virtual float Width() const = 0; // twips
    virtual float Height() const = 0;
};

// The primary screen as the platform reports it.
const ScreenExtent& primaryScreen();

void CenterForm(CenterableWindow& form, const ScreenExtent& screen = primaryScreen());

} // namespace demo
