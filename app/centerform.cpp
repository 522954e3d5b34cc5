#include "centerform.h"

#include "twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cfenv>
#include <cmath>

namespace demo {
namespace {

class PrimaryScreen final : public ScreenExtent {
public:
    float Width() const override { return extent().width() * static_cast<float>(kTwipsPerPixel); }
    float Height() const override { return extent().height() * static_cast<float>(kTwipsPerPixel); }

private:
    static QSize extent() {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->geometry().size() : QSize();
    }
};

// Precision, underflow and denormal flags are not faults.
constexpr int kFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

// volatile keeps the computation between clearing and testing the flags.
float centred(float screen, float window) {
    std::feclearexcept(FE_ALL_EXCEPT);
    volatile float difference = screen - window;
    volatile float result = difference / 2.0f;
    // A NaN that came in quietly is as invalid as one made here.
    if (std::fetestexcept(kFaultFlags) || std::isnan(result)) {
        throw FloatingPointError();
    }
    return result;
}

} // namespace

const ScreenExtent& primaryScreen() {
    static const PrimaryScreen screen;
    return screen;
}

void CenterForm(CenterableWindow& form, const ScreenExtent& screen) {
    // The left edge moves before the height is read.
    const float windowWidth = form.Width();
    form.setLeft(centred(screen.Width(), windowWidth));
    const float windowHeight = form.Height();
    form.setTop(centred(screen.Height(), windowHeight));
}

} // namespace demo
