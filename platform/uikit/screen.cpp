#include "platform/uikit/screen.h"

#include "platform/runtime/class.h"
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

RT_DEFINE_CLASS(Screen, "UIScreen", rt::Object, rt::prop("bounds", &Screen::bounds),
                rt::prop("scale", &Screen::scale), rt::prop("nativeBounds", &Screen::nativeBounds),
                rt::prop("nativeScale", &Screen::nativeScale),
                rt::classMethod("mainScreen", +[] { return Screen::mainScreen(); }))

} // namespace ui
