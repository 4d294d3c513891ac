#include "platform/uikit/screen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"

namespace ui {

const rt::Ref<Screen>& Screen::mainScreen() {
    static const rt::Ref<Screen> screen = rt::immortal(rt::make<Screen>());
    return screen;
}

cg::Rect Screen::bounds() const {
    return sim::currentDevice()->screenBounds();
}

double Screen::scale() const {
    return sim::currentDevice()->screen.scale;
}

cg::Rect Screen::nativeBounds() const {
    const auto device = sim::currentDevice();
    return cg::Rect::make(0, 0, device->screen.width * device->screen.scale, device->screen.height * device->screen.scale);
}

double Screen::brightness() const {
    return sim::currentDevice()->screen.brightness;
}

void Screen::setBrightness(double brightness) {
    rt::KeyChange change(this, "brightness");
    const double value = std::isnan(brightness) ? 0 : std::clamp(brightness, 0.0, 1.0);
    char line[32];
    std::snprintf(line, sizeof line, "brightness %.2f", value);
    sim::Device::shared().log(line);
    sim::Device::shared().change(sim::Aspect::Screen, [value](sim::Profile& p) { p.screen.brightness = value; });
}

RT_DEFINE_CLASS(Screen, "UIScreen", rt::Object, rt::prop("bounds", &Screen::bounds),
                rt::prop("scale", &Screen::scale), rt::prop("nativeBounds", &Screen::nativeBounds),
                rt::prop("nativeScale", &Screen::nativeScale),
                rt::prop("brightness", &Screen::brightness, &Screen::setBrightness),
                rt::classMethod("mainScreen", +[] { return Screen::mainScreen(); }))

} // namespace ui
