#pragma once
// What the microphone screens share, and ft::MicrophoneTestScreen, the base of the record and
// loop-back screens.
//
// The free functions serve every screen that records: the recorder's three settings, whether
// headphones are the route's output, the recording file under Documents, and the record permission
// asked with the reply taken on the main queue (a refusal shows the alert naming the product,
// whose button gives every row 2, the result 2 and leaves).
//
// The base holds the two steps' icons, the count and question labels, the recorder, the player and
// the session category and options found at load. At load it writes the two rows ("Record voice",
// "Play record voice"), hides the buttons as the screen appears, puts the category and options back
// as it disappears, shows the title "get ready" and sets PlayAndRecord to the speaker. Leaving stops
// the recorder, then the player, each under its own lock. Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "session/base_model_view_controller.h"

namespace av {
class AudioPlayer;
class AudioRecorder;
} // namespace av
namespace es {
class CompoundDisposable;
}
namespace ns {
class MutableDictionary;
}
namespace ui {
class ImageView;
class View;
} // namespace ui

namespace ft {

// {AVFormatIDKey 'aac ', AVSampleRateKey 44100.0, AVNumberOfChannelsKey 2}, a new dictionary each call.
rt::Ref<ns::MutableDictionary> microphoneRecordSettings();
// Any output of the current route is Headphones.
bool headsetPluggedIn();
// <Documents>/<name>.
std::string documentsFile(std::string_view name);
// Asks for the record permission; the reply goes on on the main queue. Granted: `granted`.
// Refused: the alert ("<alertKey>" with the product name, one button), whose press gives every row
// and the item 2 and leaves the screen.
void askRecordPermission(BaseModelViewController& screen, std::string_view alertKey, std::function<void()> granted);
// Saves the session's category and options into the two, sets PlayAndRecord with `options`; then
// the buttons hide as the screen appears and the saved category and options come back as it
// disappears.
void playAndRecordWhileShown(BaseModelViewController& screen, unsigned long options, rt::Ref<ns::String>& category,
                             unsigned long& option);
// Every row's "result" = `code`.
void setEveryRowResult(BaseModelViewController& screen, std::int64_t code);

class MicrophoneTestScreen : public BaseModelViewController {
    RT_CLASS(MicrophoneTestScreen)
public:
    static constexpr const char* kRecordingFile = "sound1.m4a";
    static constexpr std::int64_t kWaitSeconds = 3;
    static constexpr std::int64_t kRecordSeconds = 3;

    static rt::Ref<ns::String> extraMessage();

    rt::Ref<ui::ImageView> step1() const { return step1_.lock(); }
    void setStep1(const rt::Ref<ui::ImageView>& view) { step1_ = view; }
    rt::Ref<ui::ImageView> step2() const { return step2_.lock(); }
    void setStep2(const rt::Ref<ui::ImageView>& view) { step2_ = view; }
    rt::Ref<ui::Label> number() const { return number_.lock(); }
    void setNumber(const rt::Ref<ui::Label>& label) { number_ = label; }
    rt::Ref<ui::Label> label() const { return label_.lock(); }
    void setLabel(const rt::Ref<ui::Label>& label) { label_ = label; }
    const rt::Ref<av::AudioRecorder>& recorder() const noexcept { return recorder_; }
    const rt::Ref<av::AudioPlayer>& player1() const noexcept { return player1_; }
    const rt::Ref<ns::String>& category() const noexcept { return category_; }
    unsigned long option() const noexcept { return option_; }

protected:
    MicrophoneTestScreen();
    ~MicrophoneTestScreen() override;

    // Rows, the present handler, the title, the category saved and PlayAndRecord to the speaker.
    void loadAudio();
    // The countdown: "wait 3", then 2, 1, 0 at one-second ticks; completes with the last tick
    // unless the stage was ended. `leaving` ends it with "has exit." and an error (no error object);
    // `errorFirst` sends the error before the timers are disposed.
    rt::Ref<es::Signal> countdown(const rt::Ref<es::Signal>& leaving, bool errorFirst);
    // The recording's count: "speak 3" shown, then 2, 1, 0 at one-second ticks, each logged;
    // `done` runs after the last, into `stage`.
    void countRecording(const rt::Ref<es::CompoundDisposable>& stage, std::function<void()> done);
    // A recorder for the recording file, recording.
    void startRecorder();
    // A new player for the recording file, playing, the screen its delegate; the title "playing",
    // the question and the buttons shown.
    void startPlayer(std::string_view titleKey);
    // The answer: the second step's icon and both rows.
    void showAnswer(bool yes);
    void stopRecorderAndPlayer();
    void showCount(std::string_view key, std::int64_t count);

private:
    rt::Weak<ui::ImageView> step1_, step2_;
    rt::Weak<ui::Label> number_, label_;
    rt::Ref<av::AudioRecorder> recorder_;
    rt::Ref<av::AudioPlayer> player1_;
    rt::Ref<ns::String> category_;
    unsigned long option_ = 0;
};

// The microphone screens' scene over the base's: the two steps (icon and caption), the count and
// the question; answers the two captions.
std::pair<rt::Ref<ui::Label>, rt::Ref<ui::Label>> addMicrophoneScene(const rt::Ref<ui::View>& view,
                                                                     MicrophoneTestScreen& screen);

} // namespace ft
