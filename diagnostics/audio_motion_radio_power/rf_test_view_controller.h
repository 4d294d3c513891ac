#pragma once
// ft::RFTestViewController ("RFTestViewController"): the cellular radio test (key "RF"), automatic.
// At load it reads the SIM's carrier and radio access technology (on 12.0 and later through the
// services of a dual-SIM device, each carrier with its own service's technology) and decides
// whether the data is complete: a network code and a technology. One second after it appears,
// behind the "monitoring" HUD, it records the outcome: complete data records 1 and waits for the
// tester's YES (1) or NO (2); incomplete data records 2 and leaves with the error HUD. A
// disappearance before then records nothing, and makes a later appearance record 0. Refused at the
// start without a SIM (+extraMessage). Keeps running in the background. Main thread only.

#include <string>

#include "session/base_model_view_controller.h"

namespace ns {
class MutableDictionary;
class String;
}

namespace ft {

class RFTestViewController : public BaseModelViewController {
    RT_CLASS(RFTestViewController)
public:
    static constexpr double kCheckDelay = 1.0;
    // The services of a dual-SIM device the screen knows.
    static constexpr const char* kFirstService = "0000000100000001";
    static constexpr const char* kSecondService = "0000000100000002";

    // The localised refusal without a SIM, else nil.
    static rt::Ref<ns::String> extraMessage();
    // 1 with a SIM, else 0.
    static rt::Id isSupport();

    // The arguments of every viewWillDisappear:.
    rt::Ref<es::Signal> disappear() override;

    rt::Ref<ui::Label> carrier() const { return carrier_.lock(); }
    void setCarrier(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> newtworkType() const { return newtworkType_.lock(); }
    void setNewtworkType(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> signalStrength() const { return signalStrength_.lock(); }
    void setSignalStrength(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> question() const { return question_.lock(); }
    void setQuestion(const rt::Ref<ui::Label>& label);
    bool enterBackgound() const { return enterBackgound_; }

    // The signal strength the platform's status bar shows, into `signalStrength`, with the carrier
    // and technology refreshed (nothing calls these but tests). Each reader answers 0 when the
    // status bar raises, keeping the labels it had set.
    // The older layout first, the newer one when that gives 0 or less.
    void getSignal();
    // The older layout's item view: dBm before 11.0, bars from then on.
    long getSignalStrength();
    // The newer layout's bars: the cellular item before 12.0, the expanded cellular item from then on.
    long fetchSignalBarsForiPhoneX();
    // A current radio access technology.
    static bool hasSimCard();
    // The carrier and technology labels; the carrier's name blank for the signal "0".
    void refreshInfoWithSignal(const std::string& signal);
    bool isDone() const { return isDone_; }

protected:
    RFTestViewController();
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;

private:
    // Reads the carrier data and shows it when complete; the row's result follows.
    void readCarrier();
    // One second after appearing.
    void checked();
    // `signalStrength` shows `value`, the caption in bars from 11.0 unless it is dBm.
    void showSignal(const std::string& value, bool dbm);

    rt::Weak<ui::Label> carrier_, newtworkType_, signalStrength_, question_;
    bool enterBackgound_ = false;
    bool isDone_ = false;
    std::string missing_; // what the carrier lacks, when not done
    rt::Ref<ns::MutableDictionary> row_;
};

} // namespace ft
