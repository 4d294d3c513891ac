#include "tests/testkit/app/navigation_app_test.h"

namespace testkit {

void NavigationAppTest::TearDown() {
    window_ = nullptr;
    navigation_ = nullptr;
    AppTest::TearDown();
}

void NavigationAppTest::showInNavigation(const rt::Ref<ui::ViewController>& root) {
    navigation_ = ui::NavigationController::withRootViewController(root);
    window_ = rt::make<ui::Window>();
    window_->setRootViewControllerObject(navigation_);
    window_->makeKeyAndVisible();
}

} // namespace testkit
