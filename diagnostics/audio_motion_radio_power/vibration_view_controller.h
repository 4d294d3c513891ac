#pragma once
// ft::VibrationViewController ("VibrationViewController"): the vibration test (key "VIBRATION"),
// automatic. It pulses the motor three times through the vibrate alert sound, at 0, 2.0 and 4.0 s
// from its load, counting the pulses in its title (1, 2, 3), and passes by itself after the third:
// nothing is measured. A pad records 2 at load and moves on without a pulse.
//
// Leaving by the automatic ending rule (automatic_ending.h) in a run; a single run records the row's
// result too and goes to where gotoResultView leads. Ending early (the tester skipped, the screen
// disappeared) writes nothing, except that a retried item gets back the code it had before the
// retry. The YES/NO buttons stay hidden; a run also hides the hint. Keeps running in the
// background. Main thread only.

#include <cstdint>

#include "session/base_model_view_controller.h"

namespace ns {
class MutableDictionary;
}

namespace ft {

class VibrationViewController : public BaseModelViewController {
    RT_CLASS(VibrationViewController)
public:
    static constexpr std::uint32_t kVibrateSound = 4095;
    static constexpr double kPulseInterval = 2.0;
    static constexpr std::size_t kPulses = 3;

    rt::Ref<ui::Label> tipLabel() const;
    void setTipLabel(const rt::Ref<ui::Label>& label);

protected:
    VibrationViewController();
    void viewDidLoadBody() override;

private:
    // The pulse timer has ended, `pulsed` the counter (the next pulse's number).
    void pulsesEnded(std::int64_t pulsed);

    rt::Weak<ui::Label> tipLabel_;
    rt::Ref<ns::MutableDictionary> row_;
};

} // namespace ft
