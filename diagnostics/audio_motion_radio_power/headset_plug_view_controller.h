#pragma once
// ft::HeadsetPlugViewController ("HeadsetPlugViewController"): the headset test (key
// "HEADSET_TEST"), five steps, each with its row: plug the headset in (a route change of reason 1
// within 30 s of the permission), a four-tick countdown, ten seconds recorded into
// Documents/"sound.m4a", the recording played over and over until answered, the bundle's
// "sample"."m4a" likewise, then unplug (the next route change of any reason). The first route
// change after the start of the countdown, the recording or either playback fails that stage when
// its reason is 2 (pulled out) and disarms the check otherwise; a failed stage gives the rows
// before it 1, the rest 2, and the result 2. The screen passes when all five rows passed.
//
// The permission's reply goes on on the main queue; a refusal shows the alert, whose button gives
// every row 2. The session category and options found at load are put back when the screen
// disappears. Once the screen has begun to disappear a failed stage still writes its rows and 2
// but does not navigate again. Main thread only.

#include <cstddef>
#include <cstdint>

#include "session/base_model_view_controller.h"

namespace es {
class CompoundDisposable;
}
namespace av {
class AudioPlayer;
class AudioRecorder;
class AudioSession;
} // namespace av
namespace ns {
class Error;
class MutableDictionary;
class URL;
} // namespace ns
namespace ui {
class ImageView;
}

namespace ft {

class HeadsetPlugViewController : public BaseModelViewController {
    RT_CLASS(HeadsetPlugViewController)
public:
    static constexpr double kPlugInSeconds = 30.0;
    static constexpr std::int64_t kWaitCount = 3;
    static constexpr std::int64_t kRecordCount = 10;
    static constexpr std::size_t kRows = 5;
    // The pull-out guard's error.
    static constexpr const char* kPluggedOutDomain = "PluggedOut";
    static constexpr long kPluggedOutCode = 102;

    static rt::Ref<ns::String> extraMessage();
    static bool isHeadsetPluggedIn();
    static rt::Ref<ns::MutableDictionary> recordSettings();
    static rt::Ref<ns::String> soundFile();

    // Outlets: `step1` ... `step5`, then the count, the instruction, the question and the captions.
    template <std::size_t I> rt::Ref<ui::ImageView> step() const { return steps_[I].lock(); }
    template <std::size_t I> void setStep(const rt::Ref<ui::ImageView>& view) { steps_[I] = view; }
    template <std::size_t I> rt::Ref<ui::Label> label() const { return labels_[I].lock(); }
    template <std::size_t I> void setLabel(const rt::Ref<ui::Label>& label) { labels_[I] = label; }
    enum LabelOutlet : std::size_t {
        kNumberLabel,
        kTipLabel,
        kTipLabel2,
        kStepInsertHeadset,
        kStepSpeakIntoHeadsetMic,
        kStepPlayingBack,
        kStepPlayingMusic,
        kStepUnplugHeadset,
        kLabelOutlets
    };

    const rt::Ref<av::AudioSession>& audioSession() const noexcept { return audioSession_; }
    const rt::Ref<av::AudioRecorder>& recorder() const noexcept { return recorder_; }
    const rt::Ref<av::AudioPlayer>& player1() const noexcept { return player1_; }
    const rt::Ref<av::AudioPlayer>& player2() const noexcept { return player2_; }
    bool isEnterBackgournd() const noexcept { return isEnterBackgournd_; }

    // `info.success` from the rows: 2 at the first row missing or 2, else 1.
    void checkResult();
    // Rows below `index` 1, the rest 2, the result 2; then the screen leaves, unless it is
    // already disappearing.
    void giveupRemainItem(std::int64_t index, const rt::Ref<ns::Error>& error);

protected:
    HeadsetPlugViewController();
    ~HeadsetPlugViewController() override;
    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;

private:
    rt::Ref<es::Signal> plugIn();
    rt::Ref<es::Signal> countdown();
    rt::Ref<es::Signal> recording();
    // One playing of `file` into `slot`, the stage's answer ending the passes.
    rt::Ref<es::Signal> playUntilAnswered(rt::Ref<av::AudioPlayer> HeadsetPlugViewController::*slot,
                                          const rt::Ref<ns::URL>& file, const char* disposedLog);
    void begin();
    void recorded();
    void playedBack();
    void unplug();
    void setRow(std::size_t row, std::int64_t code);
    void showCount(const char* key, std::int64_t count);
    void tick(std::size_t step, bool passed);
    void show(LabelOutlet outlet, const char* key);

    rt::Weak<ui::ImageView> steps_[kRows];
    rt::Weak<ui::Label> labels_[kLabelOutlets];
    rt::Ref<av::AudioSession> audioSession_;
    rt::Ref<av::AudioRecorder> recorder_;
    rt::Ref<av::AudioPlayer> player1_, player2_;
    rt::Ref<ns::String> category_;
    unsigned long option_ = 0;
    bool isEnterBackgournd_ = false;
    bool disappearing_ = false;
    rt::Ref<es::Signal> ownDisappear_, playerFinished_;
    rt::Ref<es::CompoundDisposable> stages_; // every stage's subscription
};

} // namespace ft
