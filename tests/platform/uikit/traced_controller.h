#pragma once
// Controllers for the navigation tests: each writes what happens to it into one shared trace, as
// "<name> <selector>" ("B viewWillAppear:"). A controller's name is the one it was given, else
// the identifier of the storyboard scene it came from, else its class's name. And the fixture of
// those tests: virtual time, the trace cleared, and a window to show a controller in.

#include <functional>
#include <string>
#include <vector>

#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "tests/testkit/virtual_time.h"

namespace uikit_tests {

// The shared trace; tests clear it when they start.
std::vector<std::string>& trace();

class TracedController : public ui::ViewController {
    RT_CLASS(TracedController)
public:
    static rt::Ref<TracedController> named(std::string name);
    std::string name() const;

    // Runs after each note is traced, with what was noted ("viewDidAppear:").
    std::function<void(const std::string& what)> onNote;
    // What the last prepareForSegue:sender: was handed.
    std::string preparedIdentifier;
    rt::Weak<ui::ViewController> preparedDestination;
    rt::Id preparedSender;

protected:
    TracedController() = default;

    void note(const std::string& what) const;
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;
    void viewDidAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;
    void viewDidDisappearBody(bool animated) override;
    void prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) override;

private:
    std::string name_;
};

// Answers the unwind action backHere: (and notes the segue's source).
class UnwindTarget : public TracedController {
    RT_CLASS(UnwindTarget)
public:
    void backHere(const rt::Ref<ui::StoryboardSegue>& segue);
    int unwinds = 0;

protected:
    UnwindTarget() = default;
};

// A subclass of UnwindTarget, for segues declared on a base class.
class UnwindTargetSubclass : public UnwindTarget {
    RT_CLASS(UnwindTargetSubclass)

protected:
    UnwindTargetSubclass() = default;
};

class ScreenTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { trace().clear(); }
    void TearDown() override;

    // Makes `root` the root of a new visible window, then forgets the calls that took.
    void show(const rt::Ref<ui::ViewController>& root);
    // Whether the controller's view is in a window.
    static bool onScreen(const ui::ViewController& controller);

    rt::Ref<ui::Window> window_;
};

} // namespace uikit_tests
