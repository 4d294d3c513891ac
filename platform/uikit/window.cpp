#include "platform/uikit/window.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/screen.h"

namespace ui {

Window::Window() : Window(Screen::mainScreen()->bounds()) {}

Window::Window(const cg::Rect& frame) : View(frame) {
    setHidden(true);
}

void Window::setRootViewControllerObject(rt::Id controller) {
    rt::KeyChange change(this, "rootViewController");
    rootViewController_ = std::move(controller);
}

void Window::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void Window::makeKeyWindow() {
    if (rt::Ref<Application> app = Application::sharedApplication()) app->setKeyWindow(rt::retained(this));
}

bool Window::isKeyWindow() const {
    rt::Ref<Application> app = Application::sharedApplication();
    return app && app->keyWindow().get() == this;
}

void Window::setWindowLevel(double level) {
    rt::KeyChange change(this, "windowLevel");
    level_ = level;
}

EdgeInsets Window::safeAreaInsets() const {
    const auto device = sim::currentDevice();
    if (device->systemVersionNumber() < 11) return {};
    return device->safeAreaInsets;
}

rt::Ref<Responder> Window::nextResponder() const {
    return Application::sharedApplication();
}

RT_DEFINE_CLASS(Window, "UIWindow", View,
                rt::prop("rootViewController", &Window::rootViewControllerObject, &Window::setRootViewControllerObject),
                rt::prop("windowLevel", &Window::windowLevel, &Window::setWindowLevel),
                rt::prop("keyWindow", &Window::isKeyWindow, {.getter = "isKeyWindow"}),
                rt::prop("safeAreaInsets", &Window::safeAreaInsets),
                rt::method("makeKeyAndVisible", &Window::makeKeyAndVisible))

} // namespace ui
