#pragma once
// ui::Screen ("UIScreen"): the simulated device's screen. Everything is read from the installed
// device each time, so a test that installs another device sees its screen at once.

#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ui {

class Screen final : public rt::Object {
    RT_CLASS(Screen)
public:
    // The one screen (immortal).
    static const rt::Ref<Screen>& mainScreen();

    // Origin zero, the size in points.
    cg::Rect bounds() const;
    // Pixels per point.
    double scale() const;
    // The bounds in pixels.
    cg::Rect nativeBounds() const;
    double nativeScale() const { return scale(); }
    // 0 to 1; a value set is clamped to that, kept by the simulated device and logged there.
    double brightness() const;
    void setBrightness(double brightness);

private:
    Screen() = default;
};

} // namespace ui
