#pragma once
// An application test whose key window shows a navigation controller with a root controller,
// as the application's screens are shown; both are let go before the fixture.

#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"

namespace testkit {

class NavigationAppTest : public AppTest {
protected:
    void TearDown() override;
    // Shows `root` in a new navigation controller as the root of a new visible key window.
    void showInNavigation(const rt::Ref<ui::ViewController>& root);

    rt::Ref<ui::NavigationController> navigation_;
    rt::Ref<ui::Window> window_;
};

} // namespace testkit
