// The application fixture's navigation calls: what is on screen, and the tester's back button.

#include "platform/uikit/control.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"

namespace testkit {

namespace {

// From the root, through presentations and navigation tops, to the controller on screen; also
// the last navigation controller passed on the way whose top that is.
rt::Ref<ui::ViewController> onScreen(const rt::Ref<ui::ViewController>& root,
                                     rt::Ref<ui::NavigationController>* navigation) {
    rt::Ref<ui::ViewController> current = root;
    while (current) {
        if (rt::Ref<ui::ViewController> presented = current->presentedViewController()) {
            if (navigation) *navigation = nullptr;
            current = presented;
        } else if (auto stack = rt::cast<ui::NavigationController>(current);
                   stack && stack->topViewController()) {
            if (navigation) *navigation = stack;
            current = stack->topViewController();
        } else {
            break;
        }
    }
    return current;
}

} // namespace

rt::Ref<ui::ViewController> AppFixture::topViewController() const {
    rt::Ref<ui::Window> window = keyWindow();
    return window ? onScreen(window->rootViewController(), nullptr) : nullptr;
}

rt::Ref<ui::NavigationController> AppFixture::navigationOnScreen() const {
    rt::Ref<ui::Window> window = keyWindow();
    rt::Ref<ui::NavigationController> navigation;
    if (window) onScreen(window->rootViewController(), &navigation);
    return navigation;
}

std::vector<std::string> AppFixture::navigationStack() const {
    std::vector<std::string> names;
    if (rt::Ref<ui::NavigationController> navigation = navigationOnScreen())
        for (const auto& controller : navigation->viewControllerList())
            names.emplace_back(controller->getClass().name());
    return names;
}

bool AppFixture::tapBack() {
    rt::Ref<ui::NavigationController> navigation = navigationOnScreen();
    if (!navigation || !navigation->isViewLoaded() || !navigation->viewIfLoaded()->window()) return false;
    const rt::Ref<ui::NavigationBar>& bar = navigation->navigationBar();
    if (!bar->isBackButtonVisible()) return false;
    return tap(bar->backButton());
}

} // namespace testkit
