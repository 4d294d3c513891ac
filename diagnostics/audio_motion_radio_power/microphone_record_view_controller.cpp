#include "diagnostics/audio_motion_radio_power/microphone_record_view_controller.h"

#include "platform/media/audio_recorder.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/subscriber.h"

namespace ft {

namespace {

const bool microphoneRecordNibRegistered = registerTestScreenNib<MicrophoneRecordViewController>(
    "MicrophoneRecordViewController", [](const rt::Ref<ui::View>& view, MicrophoneRecordViewController& screen) {
        const auto captions = addMicrophoneScene(view, screen);
        screen.setStepSpeakIntoMicrophone(captions.first);
        screen.setStepPlayingBackAudio(captions.second);
    });

} // namespace

RT_DEFINE_CLASS(MicrophoneRecordViewController, "MicrophoneRecordViewController", MicrophoneTestScreen,
                rt::prop("stepSpeakIntoMicrophone", &MicrophoneRecordViewController::stepSpeakIntoMicrophone,
                         &MicrophoneRecordViewController::setStepSpeakIntoMicrophone, {.memory = rt::Memory::Weak}),
                rt::prop("stepPlayingBackAudio", &MicrophoneRecordViewController::stepPlayingBackAudio,
                         &MicrophoneRecordViewController::setStepPlayingBackAudio, {.memory = rt::Memory::Weak}))

MicrophoneRecordViewController::MicrophoneRecordViewController() = default;

void MicrophoneRecordViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto caption = stepSpeakIntoMicrophone()) caption->setText(localized("MICROPHONERECORD_CONTROLLER_TITLE_SPEAK"));
    if (auto caption = stepPlayingBackAudio()) caption->setText(localized("MICROPHONERECORD_CONTROLLER_TITLE_PLAY"));
    if (auto question = label()) question->setText(localized("HEADSET_CONTROLLER_ANSWER_SOUND"));
    loadAudio();
    leaving_ = es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(true));
    playerFinished_ = es::signalForSelectorFromProtocol(this, rt::Sel("audioPlayerDidFinishPlaying:successfully:"),
                                                        av::audioPlayerDelegateProtocol());
    const rt::Weak<MicrophoneRecordViewController> weak(rt::retained(this));
    askRecordPermission(*this, "MICROPHONERECORD_CONTROLLER_AUTHORIZATION_ALERT", [weak] {
        if (auto self = weak.lock()) self->begin();
    });
    leaving_->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->stopRecorderAndPlayer();
    });
}

void MicrophoneRecordViewController::begin() {
    const rt::Weak<MicrophoneRecordViewController> weak(rt::retained(this));
    const auto failed = [](const rt::Ref<ns::Error>&) { ns::log("error"); };
    countdown(leaving_, false)->subscribeErrorCompleted(failed, [weak, failed] {
        auto self = weak.lock();
        if (!self) return;
        self->recording()->subscribeErrorCompleted(failed, [weak, failed] {
            auto self = weak.lock();
            if (!self) return;
            ns::log("record completed");
            if (auto icon = self->step1()) icon->setImage(ui::Image::imageNamed("icon_success_shape"));
            self->answer()->subscribeNextErrorCompleted(
                [weak](bool yes) {
                    if (auto self = weak.lock()) self->showAnswer(yes);
                },
                failed,
                [weak] {
                    if (auto self = weak.lock()) self->gotoResultView();
                });
        });
    });
}

rt::Ref<es::Signal> MicrophoneRecordViewController::recording() {
    const rt::Weak<MicrophoneRecordViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        if (auto title = self->labelTitle()) title->setText(localized("MICROPHONERECORD_CONTROLLER_TITLE_SPEAK"));
        auto stage = es::CompoundDisposable::make();
        self->startRecorder();
        self->countRecording(stage, [subscriber, stage] {
            if (!stage->isDisposed()) subscriber->sendCompleted();
        });
        stage->addDisposable(self->leaving_->subscribeNext([subscriber, stage](const rt::Id&) {
            stage->dispose();
            subscriber->sendError(nullptr);
        }));
        return stage;
    });
}

rt::Ref<es::Signal> MicrophoneRecordViewController::playback() {
    const rt::Weak<MicrophoneRecordViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        ns::log("playback subscriber!!!");
        auto finished =
            self->playerFinished_->subscribeNext([subscriber](const rt::Id&) { subscriber->sendCompleted(); });
        self->startPlayer("MICROPHONERECORD_CONTROLLER_TITLE_PLAY");
        return es::Disposable::withBlock([finished] {
            ns::log("play done");
            finished->dispose();
        });
    });
}

rt::Ref<es::Signal> MicrophoneRecordViewController::answer() {
    const rt::Weak<MicrophoneRecordViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        auto stage = es::CompoundDisposable::make();
        // The leave is taken last: takeUntilReplacement holds back the end of what it replaces
        // until the replacement ends, which is when the screen is freed.
        stage->addDisposable(self->playback()
                                 ->repeat()
                                 ->takeUntilReplacement(self->choose())
                                 ->takeUntil(self->leaving_)
                                 ->subscribeNextCompleted(
                                     [subscriber, stage](const rt::Id& yes) {
                                         ns::log("oxoxoxoxoxoxooxoxoxoxoxoxoxooxox111111");
                                         stage->dispose();
                                         subscriber->sendNext(yes);
                                         subscriber->sendCompleted();
                                     },
                                     [subscriber, stage] {
                                         ns::log("oxoxoxoxoxoxooxoxoxoxoxoxoxooxox2222222");
                                         stage->dispose();
                                         subscriber->sendError(nullptr);
                                     }));
        return stage;
    });
}

} // namespace ft
