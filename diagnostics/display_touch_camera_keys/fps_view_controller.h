#pragma once
// ft::FPSViewController ("FPSViewController"): the fingerprint sensor test. It asks the system to
// authenticate the device's owner by biometrics (the reason "FPS_CONTROLLER_REASON" in the prompt)
// and records 1 when the system says so, 2 for any other outcome (the tester's cancel included);
// the tester does not answer on the screen, whose YES/NO buttons are hidden. The reply comes off the
// main thread and is written on the main thread; each write of the code moves the screen on, on the
// main thread, by observation. A device whose sensor cannot be used records 2 at once and moves on
// on the main queue's next turn, without a prompt. No catalogue row opens it.

#include "session/base_model_view_controller.h"

namespace ft {

class FPSViewController : public BaseModelViewController {
    RT_CLASS(FPSViewController)
protected:
    FPSViewController();
    void viewDidLoadBody() override;
};

} // namespace ft
