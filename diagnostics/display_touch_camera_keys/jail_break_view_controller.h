#pragma once
// ft::JailBreakViewController ("JailBreakViewController"): the jailbreak state test (key "ROOT"),
// automatic. Each time it appears it probes the device for "/Applications/Cydia.app" (under the
// device's root: never the host's files), shows what it found, and one second later records whether
// that is the state the run expects: a clean device passes, unless Documents/"functiontest_temp.txt"
// holds "ROOT_DEVICE_IS_PASS": "True" (exactly), when a jailbroken one does. It then moves on by
// itself: started alone or as a retry or the last item, to where the base's rule leads; otherwise on
// to the next item. The back button is hidden from its appearing to the decision.
//
// Disappearing before the decision cancels it. A screen that has disappeared once (enterBackgound,
// never cleared) records 0 at its next decision and stays. Its `disappear` sends the arguments of
// each viewWillDisappear: rather than YES. Keeps running in the background. Main thread only.

#include "session/base_model_view_controller.h"

namespace ft {

class JailBreakViewController : public BaseModelViewController {
    RT_CLASS(JailBreakViewController)
public:
    static constexpr double kDecisionDelay = 1.0;

    bool enterBackgound() const noexcept { return enterBackgound_; }
    void setEnterBackgound(bool disappeared);
    bool isDone() const noexcept { return isDone_; }
    void setIsDone(bool done);

    // Something exists at "/Applications/Cydia.app" on the device.
    static bool detectJailbreak();
    // The detected state is the one the run expects.
    static bool alreadyJailbreak();

    rt::Ref<es::Signal> disappear() override;

protected:
    JailBreakViewController();
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;

private:
    void decide();

    bool enterBackgound_ = false;
    bool isDone_ = false;
};

} // namespace ft
