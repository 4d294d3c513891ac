#include "platform/uikit/layout_guide.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"

namespace ui {

LayoutGuide::LayoutGuide(const ViewController& controller, Edge edge)
    : controller_(rt::retained(&controller)), edge_(edge) {}

rt::Ref<LayoutGuide> LayoutGuide::make(const ViewController& controller, Edge edge) {
    return rt::make<LayoutGuide>(controller, edge);
}

rt::Ref<View> LayoutGuide::owningView() const {
    rt::Ref<ViewController> controller = controller_.lock();
    return controller ? controller->viewIfLoaded() : nullptr;
}

double LayoutGuide::length() const {
    rt::Ref<ViewController> controller = controller_.lock();
    if (!controller) return 0;
    rt::Ref<View> view = controller->viewIfLoaded();
    rt::Ref<Window> window = view ? view->window() : nullptr;
    const EdgeInsets insets = window ? window->safeAreaInsets() : EdgeInsets{};
    if (edge_ == Edge::Bottom) return insets.bottom;
    const rt::Ref<Application> application = Application::sharedApplication();
    const bool statusBarShown = !application || !application->isStatusBarHidden();
    double length = std::max(statusBarShown ? kStatusBarHeight : 0.0, insets.top);
    if (rt::Ref<NavigationController> navigation = controller->navigationController();
        navigation && navigation.get() != controller.get() && !navigation->isNavigationBarHidden())
        length += NavigationBar::kHeight;
    return length;
}

RT_DEFINE_CLASS(LayoutGuide, "_UILayoutGuide", rt::Object,
                rt::method("owningView", &LayoutGuide::owningView),
                rt::prop("length", &LayoutGuide::length))

} // namespace ui
