#include "tests/platform/uikit/traced_controller.h"

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/view.h"

namespace uikit_tests {

std::vector<std::string>& trace() {
    static std::vector<std::string> lines;
    return lines;
}

rt::Ref<TracedController> TracedController::named(std::string name) {
    auto controller = rt::make<TracedController>();
    controller->setTitle(ns::String::make(name));
    controller->name_ = std::move(name);
    return controller;
}

std::string TracedController::name() const {
    if (!name_.empty()) return name_;
    return sceneIdentifier().empty() ? std::string(getClass().name()) : sceneIdentifier();
}

void TracedController::note(const std::string& what) const {
    trace().push_back(name() + " " + what);
    if (onNote) onNote(what);
}

void TracedController::viewDidLoadBody() {
    note("viewDidLoad");
}

void TracedController::viewWillAppearBody(bool) {
    note("viewWillAppear:");
}

void TracedController::viewDidAppearBody(bool) {
    note("viewDidAppear:");
}

void TracedController::viewWillDisappearBody(bool) {
    note("viewWillDisappear:");
}

void TracedController::viewDidDisappearBody(bool) {
    note("viewDidDisappear:");
}

void TracedController::prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) {
    note("prepareForSegue: " + segue->identifier()->utf8());
    preparedIdentifier = segue->identifier()->utf8();
    preparedDestination = segue->destinationViewController();
    preparedSender = sender;
}

void UnwindTarget::backHere(const rt::Ref<ui::StoryboardSegue>& segue) {
    auto source = rt::cast<TracedController>(segue->sourceViewController());
    note("backHere: from " + (source ? source->name() : std::string("?")));
    ++unwinds;
}

void ScreenTest::TearDown() {
    window_ = nullptr;
    VirtualTimeTest::TearDown();
}

void ScreenTest::show(const rt::Ref<ui::ViewController>& root) {
    window_ = rt::make<ui::Window>();
    window_->setRootViewControllerObject(root);
    window_->makeKeyAndVisible();
    trace().clear();
}

bool ScreenTest::onScreen(const ui::ViewController& controller) {
    return controller.isViewLoaded() && controller.viewIfLoaded()->window() != nullptr;
}

RT_DEFINE_CLASS(TracedController, "UIKitTestTracedController", ui::ViewController)
RT_DEFINE_CLASS(UnwindTarget, "UIKitTestUnwindTarget", TracedController,
                rt::method("backHere:", &UnwindTarget::backHere))
RT_DEFINE_CLASS(UnwindTargetSubclass, "UIKitTestUnwindTargetSubclass", UnwindTarget)

} // namespace uikit_tests
