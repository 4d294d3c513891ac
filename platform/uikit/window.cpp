#include "platform/uikit/window.h"

#include <utility>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/view_controller.h"

namespace ui {

namespace {

// Every window made, weakly, in order; the dead are dropped as the list is read.
std::vector<rt::Weak<Window>>& windowsMade() {
    static auto* windows = new std::vector<rt::Weak<Window>>();
    return *windows;
}

} // namespace

Window::Window() : Window(Screen::mainScreen()->bounds()) {}

Window::Window(const cg::Rect& frame) : View(frame) {
    setHidden(true);
    std::erase_if(windowsMade(), [](const rt::Weak<Window>& w) { return !w.lock(); });
    windowsMade().push_back(rt::Weak<Window>(this));
}

std::vector<rt::Ref<Window>> Window::allWindows() {
    std::vector<rt::Ref<Window>> live;
    for (const rt::Weak<Window>& w : windowsMade())
        if (auto window = w.lock()) live.push_back(std::move(window));
    return live;
}

void Window::setRootViewControllerObject(rt::Id controller) {
    rt::Id previous;
    {
        rt::KeyChange change(this, "rootViewController");
        previous = std::exchange(rootViewController_, std::move(controller));
    }
    if (!isHidden()) installRoot(previous);
}

void Window::makeKeyAndVisible() {
    const bool wasHidden = isHidden();
    setHidden(false);
    makeKeyWindow();
    if (wasHidden) installRoot(nullptr);
}

void Window::installRoot(const rt::Id& previous) {
    rt::Ref<Window> self = rt::retained(this);
    rt::Ref<ViewController> from = rt::cast<ViewController>(previous);
    rt::Ref<ViewController> to = rootViewController();
    if (from == to) return;
    if (from && (!from->isViewLoaded() || from->viewIfLoaded()->superview() != self)) from = nullptr;
    if (to) to->loadViewIfNeeded();
    if (from) from->beginAppearanceTransition(false, false);
    if (to) {
        to->beginAppearanceTransition(true, false);
        to->view()->setFrame(bounds());
        addSubview(to->view());
    }
    if (from) {
        from->viewIfLoaded()->removeFromSuperview();
        from->endAppearanceTransition();
    }
    if (to) to->endAppearanceTransition();
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

EdgeInsets deviceSafeAreaInsets(const sim::Profile& device) {
    return device.systemVersionNumber() < 11 ? EdgeInsets{} : device.safeAreaInsets;
}

EdgeInsets Window::safeAreaInsets() const {
    return deviceSafeAreaInsets(*sim::currentDevice());
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
