#pragma once
// ft::PowerKeyViewController ("PowerKeyViewController"): the power key test (key "POWER_KEY_TEST").
// The tester presses the power key (the screen keeps running while the device is locked) and then
// answers whether it worked: YES 1, NO 2, and the screen moves on. A watchdog counted from viewDidLoad
// fails the test (2) after 30 s without an answer; the first answer ends it, so a screen that
// outlives its answer neither rewrites the code nor moves on again. Main thread only.

#include "session/base_model_view_controller.h"

namespace ft {

class PowerKeyViewController : public BaseModelViewController {
    RT_CLASS(PowerKeyViewController)
public:
    static constexpr double kWatchdogSeconds = 30.0;

    rt::Ref<ui::Label> testTitle() const; // the question
    void setTestTitle(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> stepTitle() const; // in the scene; the screen never sets it
    void setStepTitle(const rt::Ref<ui::Label>& label);

protected:
    PowerKeyViewController();
    void viewDidLoadBody() override;

private:
    rt::Weak<ui::Label> testTitle_, stepTitle_;
};

} // namespace ft
