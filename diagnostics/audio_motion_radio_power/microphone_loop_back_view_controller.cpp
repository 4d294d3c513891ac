#include "diagnostics/audio_motion_radio_power/microphone_loop_back_view_controller.h"

#include "device/audio_processor.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/multicast_connection.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/subscriber.h"

namespace ft {

namespace {

const bool microphoneLoopBackNibRegistered = registerTestScreenNib<MicrophoneLoopBackViewController>(
    "MicrophoneLoopBackViewController", [](const rt::Ref<ui::View>& view, MicrophoneLoopBackViewController& screen) {
        const auto captions = addMicrophoneScene(view, screen);
        screen.setSteplabel(captions.first);
        screen.setSteplable2(captions.second);
    });

} // namespace

RT_DEFINE_CLASS(MicrophoneLoopBackViewController, "MicrophoneLoopBackViewController", MicrophoneTestScreen,
                rt::prop("steplabel", &MicrophoneLoopBackViewController::steplabel,
                         &MicrophoneLoopBackViewController::setSteplabel, {.memory = rt::Memory::Weak}),
                rt::prop("steplable2", &MicrophoneLoopBackViewController::steplable2,
                         &MicrophoneLoopBackViewController::setSteplable2, {.memory = rt::Memory::Weak}),
                rt::prop("messageTitle", &MicrophoneLoopBackViewController::messageTitle,
                         &MicrophoneLoopBackViewController::setMessageTitle, {.memory = rt::Memory::Weak}),
                rt::prop("numberCount", &MicrophoneLoopBackViewController::numberCount,
                         &MicrophoneLoopBackViewController::setNumberCount, {.memory = rt::Memory::Weak}),
                rt::prop("tipMessage", &MicrophoneLoopBackViewController::tipMessage,
                         &MicrophoneLoopBackViewController::setTipMessage, {.memory = rt::Memory::Weak}),
                rt::prop("audioProcessor", &MicrophoneLoopBackViewController::audioProcessor))

MicrophoneLoopBackViewController::MicrophoneLoopBackViewController() = default;
MicrophoneLoopBackViewController::~MicrophoneLoopBackViewController() = default;

void MicrophoneLoopBackViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    loadAudio();
    if (auto caption = steplabel()) caption->setText(localized("MICROPHONELOOPBACK_CONTROLLER_STEP1"));
    if (auto caption = steplable2()) caption->setText(localized("MICROPHONELOOPBACK_CONTROLLER_STEP2"));
    if (auto question = label()) question->setText(localized("MICROPHONELOOPBACK_CONTROLLER_HEAR"));
    leaving_ = es::signalForSelector(this, rt::Sel("viewWillDisappear:"))
                   ->mapReplace(ns::Number::withBool(true))
                   ->publish()
                   ->autoconnect();
    const rt::Weak<MicrophoneLoopBackViewController> weak(rt::retained(this));
    askRecordPermission(*this, "MICROPHONERECORD_CONTROLLER_AUTHORIZATION_ALERT", [weak] {
        if (auto self = weak.lock()) self->begin();
    });
    leaving_->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->stopRecorderAndPlayer();
    });
}

void MicrophoneLoopBackViewController::begin() {
    const rt::Weak<MicrophoneLoopBackViewController> weak(rt::retained(this));
    countdown(leaving_, true)->subscribeErrorCompleted([](const rt::Ref<ns::Error>&) { ns::log("error"); }, [weak] {
        auto self = weak.lock();
        if (!self) return;
        ns::log("completed");
        self->recording()->subscribeCompleted([weak] {
            auto self = weak.lock();
            if (!self) return;
            if (auto icon = self->step1()) icon->setImage(ui::Image::imageNamed("icon_success_shape"));
            // The first answer ends the passes; a leave stops the player, which then reports no
            // finish, so no pass follows and nothing is written.
            self->playback()->repeat()->takeUntilReplacement(self->choose())->take(1)->subscribeNextCompleted(
                [weak](bool yes) {
                    if (auto self = weak.lock()) self->showAnswer(yes);
                },
                [weak] {
                    if (auto self = weak.lock()) self->gotoResultView();
                });
        });
    });
}

rt::Ref<es::Signal> MicrophoneLoopBackViewController::recording() {
    const rt::Weak<MicrophoneLoopBackViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        if (auto title = self->labelTitle()) title->setText(localized("MICROPHONELOOPBACK_CONTROLLER_STEP1"));
        const auto& session = av::AudioSession::sharedInstance();
        session->setActive(true);
        auto stage = es::CompoundDisposable::make();
        self->startRecorder();
        if (self->recorder()) self->recorder()->setDelegate(self);
        // The recorder's finish ends the stage's timers: stopped early by a leave, it ends quietly.
        stage->addDisposable(es::signalForSelectorFromProtocol(self.get(),
                                                               rt::Sel("audioRecorderDidFinishRecording:successfully:"),
                                                               av::audioRecorderDelegateProtocol())
                                 ->subscribeNext([stage](const rt::Id&) { stage->dispose(); }));
        self->countRecording(stage, [subscriber] {
            av::AudioSession::sharedInstance()->setActive(false);
            subscriber->sendCompleted();
        });
        return stage;
    });
}

rt::Ref<es::Signal> MicrophoneLoopBackViewController::playback() {
    const rt::Weak<MicrophoneLoopBackViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        // Without the speaker option the sound goes to the receiver.
        const auto& session = av::AudioSession::sharedInstance();
        session->setCategory(av::AudioSessionCategoryPlayAndRecord);
        session->overrideOutputAudioPort(av::AudioSessionPortOverride::None);
        session->setActive(true);
        auto finished = es::signalForSelectorFromProtocol(self.get(),
                                                          rt::Sel("audioPlayerDidFinishPlaying:successfully:"),
                                                          av::audioPlayerDelegateProtocol())
                            ->subscribeNext([subscriber](const rt::Id&) { subscriber->sendCompleted(); });
        self->startPlayer("MICROPHONELOOPBACK_CONTROLLER_STEP2");
        return es::Disposable::withBlock([weak, finished] {
            ns::log("play done");
            finished->dispose();
            auto self = weak.lock();
            if (self && self->player1()) self->player1()->stop();
            av::AudioSession::sharedInstance()->setActive(false);
        });
    });
}

} // namespace ft
