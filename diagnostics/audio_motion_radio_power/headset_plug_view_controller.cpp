#include "diagnostics/audio_motion_radio_power/headset_plug_view_controller.h"

#include "diagnostics/audio_motion_radio_power/microphone_test_screen.h"
#include "diagnostics/audio_motion_radio_power/radio_steps.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/foundation_signals.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/subscriber.h"
#include "ui/overlays/progress_hud.h"

namespace ft {

namespace {

using Headset = HeadsetPlugViewController;

constexpr const char* kHeadsetRecordingFile = "sound.m4a";

const bool headsetNibRegistered = registerTestScreenNib<Headset>(
    "HeadsetPlugViewController", [](const rt::Ref<ui::View>& view, Headset& screen) {
        const double width = view->bounds().width();
        screen.setLabel<Headset::kTipLabel>(addSceneLabel(view, cg::Rect::make(20, 100, width - 40, 44), 18));
        const auto steps = addRadioStepLines(view, int(Headset::kRows));
        screen.setStep<0>(steps[0].tick);
        screen.setStep<1>(steps[1].tick);
        screen.setStep<2>(steps[2].tick);
        screen.setStep<3>(steps[3].tick);
        screen.setStep<4>(steps[4].tick);
        screen.setLabel<Headset::kStepInsertHeadset>(steps[0].caption);
        screen.setLabel<Headset::kStepSpeakIntoHeadsetMic>(steps[1].caption);
        screen.setLabel<Headset::kStepPlayingBack>(steps[2].caption);
        screen.setLabel<Headset::kStepPlayingMusic>(steps[3].caption);
        screen.setLabel<Headset::kStepUnplugHeadset>(steps[4].caption);
        auto number = addSceneLabel(view, cg::Rect::make(20, 440, width - 40, 50), 24);
        number->setHidden(true);
        screen.setLabel<Headset::kNumberLabel>(number);
        auto question = addSceneLabel(view, cg::Rect::make(20, 500, width - 40, 60), 18);
        question->setHidden(true);
        screen.setLabel<Headset::kTipLabel2>(question);
    });

// The reason of each route change, on the main thread; each subscription observes on its own.
rt::Ref<es::Signal> headsetRouteReasons() {
    return es::addObserverForName(ns::NotificationCenter::defaultCenter(),
                                  ns::String::make(ns::AVAudioSessionRouteChangeNotification), nullptr)
        ->map([](const rt::Id& value) -> rt::Id {
            auto note = rt::cast<ns::Notification>(value);
            auto info = note ? note->userInfo() : nullptr;
            auto reason = info ? rt::cast<ns::Number>(info->objectForKey("AVAudioSessionRouteChangeReasonKey")) : nullptr;
            return ns::Number::withLong(reason ? reason->longValue() : 0);
        })
        ->deliverOnMainThread();
}

// The first route change after subscription only: pulled out (reason 2) fails it; any other reason
// leaves it silent for good.
rt::Ref<es::Signal> headsetPullOutGuard() {
    return headsetRouteReasons()->take(1)->flattenMap([](const rt::Id& reason) {
        return rt::cast<ns::Number>(reason)->longValue() == 2
                   ? es::Signal::error(ns::Error::make(Headset::kPluggedOutDomain, Headset::kPluggedOutCode))
                   : es::Signal::never();
    });
}

} // namespace

RT_DEFINE_CLASS(HeadsetPlugViewController, "HeadsetPlugViewController", BaseModelViewController,
                rt::classMethod("extraMessage", &Headset::extraMessage),
                rt::classMethod("isHeadsetPluggedIn", &Headset::isHeadsetPluggedIn),
                rt::classMethod("recordSettings", &Headset::recordSettings),
                rt::classMethod("soundFile", &Headset::soundFile),
                rt::prop("step1", &Headset::step<0>, &Headset::setStep<0>, {.memory = rt::Memory::Weak}),
                rt::prop("step2", &Headset::step<1>, &Headset::setStep<1>, {.memory = rt::Memory::Weak}),
                rt::prop("step3", &Headset::step<2>, &Headset::setStep<2>, {.memory = rt::Memory::Weak}),
                rt::prop("step4", &Headset::step<3>, &Headset::setStep<3>, {.memory = rt::Memory::Weak}),
                rt::prop("step5", &Headset::step<4>, &Headset::setStep<4>, {.memory = rt::Memory::Weak}),
                rt::prop("numberLabel", &Headset::label<Headset::kNumberLabel>,
                         &Headset::setLabel<Headset::kNumberLabel>, {.memory = rt::Memory::Weak}),
                rt::prop("tipLabel", &Headset::label<Headset::kTipLabel>, &Headset::setLabel<Headset::kTipLabel>,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tipLabel2", &Headset::label<Headset::kTipLabel2>, &Headset::setLabel<Headset::kTipLabel2>,
                         {.memory = rt::Memory::Weak}),
                rt::prop("stepInsertHeadset", &Headset::label<Headset::kStepInsertHeadset>,
                         &Headset::setLabel<Headset::kStepInsertHeadset>, {.memory = rt::Memory::Weak}),
                rt::prop("stepSpeakIntoHeadsetMic", &Headset::label<Headset::kStepSpeakIntoHeadsetMic>,
                         &Headset::setLabel<Headset::kStepSpeakIntoHeadsetMic>, {.memory = rt::Memory::Weak}),
                rt::prop("stepPlayingBack", &Headset::label<Headset::kStepPlayingBack>,
                         &Headset::setLabel<Headset::kStepPlayingBack>, {.memory = rt::Memory::Weak}),
                rt::prop("stepPlayingMusic", &Headset::label<Headset::kStepPlayingMusic>,
                         &Headset::setLabel<Headset::kStepPlayingMusic>, {.memory = rt::Memory::Weak}),
                rt::prop("stepUnplugHeadset", &Headset::label<Headset::kStepUnplugHeadset>,
                         &Headset::setLabel<Headset::kStepUnplugHeadset>, {.memory = rt::Memory::Weak}),
                rt::prop("audioSession", &Headset::audioSession), rt::prop("recorder", &Headset::recorder),
                rt::prop("player1", &Headset::player1), rt::prop("player2", &Headset::player2),
                rt::prop("isEnterBackgournd", &Headset::isEnterBackgournd),
                rt::adopts(av::audioRecorderDelegateProtocol()), rt::adopts(av::audioPlayerDelegateProtocol()))

HeadsetPlugViewController::HeadsetPlugViewController() : stages_(es::CompoundDisposable::make()) {}

HeadsetPlugViewController::~HeadsetPlugViewController() {
    ns::log("HeadsetPlugViewController dealloc");
    // A stage left waiting (a playback whose player a leave stopped, the unplug watch) observes the
    // route no longer.
    stages_->dispose();
}

rt::Ref<ns::String> HeadsetPlugViewController::extraMessage() {
    return headsetPluggedIn() ? localized("HEADSET_CONTROLLER_WARRING") : nullptr;
}

bool HeadsetPlugViewController::isHeadsetPluggedIn() {
    return headsetPluggedIn();
}

rt::Ref<ns::MutableDictionary> HeadsetPlugViewController::recordSettings() {
    return microphoneRecordSettings();
}

rt::Ref<ns::String> HeadsetPlugViewController::soundFile() {
    return ns::String::make(documentsFile(kHeadsetRecordingFile));
}

void HeadsetPlugViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto warning = extraMessage()) sh::ProgressHUD::showErrorWithStatus(warning, sh::ProgressHUD::kMaskBlack);
    show(kTipLabel, "HEADSET_CONTROLLER_INSRT_HEADSET");
    show(kStepInsertHeadset, "HEADSET_CONTROLLER_INSRT_HEADSET");
    show(kStepSpeakIntoHeadsetMic, "HEADSET_CONTROLLER_SPEAK_INTO");
    show(kStepPlayingBack, "HEADSET_CONTROLLER_PLAY_AUDIO");
    show(kStepPlayingMusic, "HEADSET_CONTROLLER_PLAY_MUSIC");
    show(kStepUnplugHeadset, "HEADSET_CONTROLLER_UNPLUG");
    setSubItemlist(radioStepRows({"Plug in headset", "Record voice", "Play record voice", "Play audio", "Play out headset"}));
    ownDisappear_ = es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->publish()->autoconnect();
    playerFinished_ = es::signalForSelectorFromProtocol(this, rt::Sel("audioPlayerDidFinishPlaying:successfully:"),
                                                        av::audioPlayerDelegateProtocol());
    audioSession_ = av::AudioSession::sharedInstance();
    playAndRecordWhileShown(*this, 0, category_, option_);
    const rt::Weak<Headset> weak(rt::retained(this));
    askRecordPermission(*this, "HEADSET_CONTROLLER_AUTHORIZATION_ALERT", [weak] {
        if (auto self = weak.lock()) self->begin();
    });
    ownDisappear_->subscribeNext([weak](const rt::Id&) {
        auto self = weak.lock();
        if (!self) return;
        self->isEnterBackgournd_ = true;
        if (self->recorder_ && self->recorder_->isRecording()) self->recorder_->stop();
        for (const auto& player : {self->player1_, self->player2_})
            if (player && player->isPlaying()) player->stop();
    });
}

void HeadsetPlugViewController::viewWillDisappearBody(bool animated) {
    // First, before the base's body and every observer: a stage failing as the screen goes must
    // not navigate a second time.
    disappearing_ = true;
    BaseModelViewController::viewWillDisappearBody(animated);
}

void HeadsetPlugViewController::show(LabelOutlet outlet, const char* key) {
    if (auto label = labels_[outlet].lock()) label->setText(localized(key));
}

void HeadsetPlugViewController::showCount(const char* key, std::int64_t count) {
    if (auto label = labels_[kNumberLabel].lock())
        label->setText(ns::stringWithFormat(localized(key)->utf8(), long(count)));
}

void HeadsetPlugViewController::tick(std::size_t step, bool passed) {
    if (auto icon = steps_[step].lock())
        icon->setImage(ui::Image::imageNamed(passed ? "icon_success_shape" : "icon_fail_shape"));
}

void HeadsetPlugViewController::setRow(std::size_t row, std::int64_t code) {
    setRadioStepResult(subItemlist(), row, int(code));
}

void HeadsetPlugViewController::checkResult() {
    std::int64_t code = TestBaseModel::kPassed;
    for (std::size_t row = 0; row < kRows; ++row) {
        auto entry = rt::cast<ns::Dictionary>(subItemlist()->objectAtIndex(row));
        auto result = entry ? rt::cast<ns::Number>(entry->objectForKey("result")) : nullptr;
        if (!result || result->longValue() == TestBaseModel::kFailed) {
            code = TestBaseModel::kFailed;
            break;
        }
    }
    if (auto item = info()) item->setSuccess(code);
}

void HeadsetPlugViewController::giveupRemainItem(std::int64_t index, const rt::Ref<ns::Error>& error) {
    for (std::size_t row = 0; row < kRows; ++row)
        setRow(row, std::int64_t(row) < index ? TestBaseModel::kPassed : TestBaseModel::kFailed);
    auto step = rt::cast<ns::Dictionary>(subItemlist()->objectAtIndex(std::size_t(index)));
    auto title = step ? rt::cast<ns::String>(step->objectForKey("title")) : nullptr;
    const bool pulledOut = error && error->code() == kPluggedOutCode;
    setVerdict(TestBaseModel::kFailed,
               "stopped at \"" + (title ? title->utf8() : std::string()) + "\"" +
                   (pulledOut ? ": the headset was pulled out" : describedError(error)));
    if (!disappearing_) gotoResultView();
}

void HeadsetPlugViewController::begin() {
    const rt::Weak<Headset> weak(rt::retained(this));
    stages_->addDisposable(plugIn()->subscribeErrorCompleted(
        [weak](const rt::Ref<ns::Error>&) {
            auto self = weak.lock();
            if (!self) return;
            self->setRow(0, TestBaseModel::kFailed);
            self->setVerdict(TestBaseModel::kFailed, timedOut(kPlugInSeconds, "a headset"));
            self->gotoResultView();
        },
        [weak] {
            auto self = weak.lock();
            if (!self) return;
            self->setRow(0, TestBaseModel::kPassed);
            self->tick(0, true);
            self->show(kTipLabel, "HEADSET_CONTROLLER_SPEAK_INTO");
            if (auto number = self->label<kNumberLabel>()) number->setHidden(false);
            self->stages_->addDisposable(self->countdown()->subscribeErrorCompleted(
                [weak](const rt::Ref<ns::Error>& error) {
                    ns::log("countDownTimer error");
                    if (auto self = weak.lock()) self->giveupRemainItem(1, error);
                },
                [weak] {
                    auto self = weak.lock();
                    if (!self) return;
                    self->stages_->addDisposable(self->recording()->subscribeErrorCompleted(
                        [weak](const rt::Ref<ns::Error>& error) {
                            if (auto self = weak.lock()) self->giveupRemainItem(1, error);
                        },
                        [weak] {
                            if (auto self = weak.lock()) self->recorded();
                        }));
                }));
        }));
}

rt::Ref<es::Signal> HeadsetPlugViewController::plugIn() {
    const rt::Weak<Headset> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        auto watch = headsetRouteReasons()
                         ->map([](const rt::Id& reason) { return rt::cast<ns::Number>(reason)->longValue() == 1; })
                         ->timeoutOnScheduler(kPlugInSeconds, es::Scheduler::mainThreadScheduler())
                         ->takeUntil(self->ownDisappear_)
                         ->subscribeNextError(
                             [subscriber](bool plugged) {
                                 if (!plugged) return;
                                 subscriber->sendNext(ns::Number::withBool(true));
                                 subscriber->sendCompleted();
                             },
                             [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); });
        return es::Disposable::withBlock([watch] {
            ns::log("plug in finish.");
            watch->dispose();
        });
    });
}

rt::Ref<es::Signal> HeadsetPlugViewController::countdown() {
    const rt::Weak<Headset> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        auto counter = std::make_shared<std::int64_t>(kWaitCount);
        self->showCount("MICROPHONERECORD_CONTROLLER_WAIT", *counter);
        auto stage = es::CompoundDisposable::make();
        stage->addDisposable(es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                                 ->take(std::size_t(*counter + 1))
                                 ->takeUntilReplacement(headsetPullOutGuard())
                                 ->subscribeNextErrorCompleted(
                                     [weak, subscriber, counter](const rt::Id&) {
                                         ns::log("second == %ld", long(*counter));
                                         if (auto self = weak.lock())
                                             self->showCount("MICROPHONERECORD_CONTROLLER_WAIT", *counter);
                                         if (--*counter != -1) return;
                                         subscriber->sendNext(ns::Number::withBool(true));
                                         subscriber->sendCompleted();
                                     },
                                     [subscriber](const rt::Ref<ns::Error>& error) {
                                         ns::log("%@", error);
                                         subscriber->sendError(error);
                                     },
                                     [subscriber, stage] {
                                         if (!stage->isDisposed()) subscriber->sendCompleted();
                                     }));
        // The next disappearance, even after the count: "has exit.", and a failure while it runs.
        self->disappear()->take(1)->subscribeNext([subscriber, stage](const rt::Id&) {
            ns::log("has exit.");
            subscriber->sendError(nullptr);
            stage->dispose();
        });
        return stage;
    });
}

rt::Ref<es::Signal> HeadsetPlugViewController::recording() {
    const rt::Weak<Headset> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        auto counter = std::make_shared<std::int64_t>(kRecordCount);
        // A file URL: a plain path with a blank or a non-ASCII letter is no URL string.
        self->recorder_ = av::AudioRecorder::initWithURL(
            ns::URL::fileURLWithPath(documentsFile(kHeadsetRecordingFile)), microphoneRecordSettings());
        if (self->recorder_) {
            self->recorder_->setDelegate(self);
            self->recorder_->prepareToRecord();
            self->recorder_->record();
        }
        self->showCount("HEADSET_CONTROLLER_SPEAK", *counter);
        --*counter;
        auto stage = es::CompoundDisposable::make();
        const auto finish = [weak, subscriber] {
            if (auto self = weak.lock(); self && self->recorder_) self->recorder_->stop();
            subscriber->sendNext(ns::Number::withBool(true));
            subscriber->sendCompleted();
        };
        stage->addDisposable(es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                                 ->take(std::size_t(kRecordCount))
                                 ->takeUntilReplacement(headsetPullOutGuard())
                                 ->subscribeNextErrorCompleted(
                                     [weak, counter, finish](const rt::Id&) {
                                         auto self = weak.lock();
                                         if (!self) return;
                                         self->showCount("HEADSET_CONTROLLER_SPEAK", *counter);
                                         if (--*counter == -1) finish();
                                     },
                                     [subscriber](const rt::Ref<ns::Error>& error) {
                                         ns::log("%@", error);
                                         subscriber->sendError(error);
                                     },
                                     finish));
        // The recorder's finish (its own stop, or the leave's) ends the stage's work.
        stage->addDisposable(es::signalForSelectorFromProtocol(self.get(),
                                                               rt::Sel("audioRecorderDidFinishRecording:successfully:"),
                                                               av::audioRecorderDelegateProtocol())
                                 ->subscribeNext([stage](const rt::Id&) { stage->dispose(); }));
        return stage;
    });
}

rt::Ref<es::Signal> HeadsetPlugViewController::playUntilAnswered(
    rt::Ref<av::AudioPlayer> HeadsetPlugViewController::*slot, const rt::Ref<ns::URL>& file, const char* disposedLog) {
    const rt::Weak<Headset> weak(rt::retained(this));
    auto playing = es::Signal::createSignal([weak, slot, file, disposedLog](
                                                const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        auto& player = (*self).*slot;
        player = file ? av::AudioPlayer::initWithContentsOfURL(file) : nullptr;
        auto finished = self->playerFinished_->subscribeNext([weak, slot, subscriber](const rt::Id&) {
            if (auto self = weak.lock(); self && ((*self).*slot) && ((*self).*slot)->isPlaying()) ((*self).*slot)->stop();
            subscriber->sendCompleted();
        });
        if (player) {
            player->setDelegate(self);
            player->prepareToPlay();
            player->play();
        }
        return es::Disposable::withBlock([weak, slot, finished, disposedLog] {
            finished->dispose();
            if (auto self = weak.lock(); self && ((*self).*slot) && ((*self).*slot)->isPlaying()) ((*self).*slot)->stop();
            ns::log(disposedLog);
        });
    });
    return playing->repeat()->takeUntilReplacement(choose()->merge(headsetPullOutGuard()))->take(1);
}

void HeadsetPlugViewController::recorded() {
    hidenButtons(false);
    tick(1, true);
    show(kTipLabel, "HEADSET_CONTROLLER_PLAY_AUDIO");
    if (auto number = label<kNumberLabel>()) number->setHidden(true);
    show(kTipLabel2, "HEADSET_CONTROLLER_ANSWER_SOUND");
    if (auto question = label<kTipLabel2>()) question->setHidden(false);
    const rt::Weak<Headset> weak(rt::retained(this));
    stages_->addDisposable(
        playUntilAnswered(&Headset::player1_, ns::URL::fileURLWithPath(documentsFile(kHeadsetRecordingFile)),
                          "play stop by choose.")
            ->subscribeNextErrorCompleted(
            [weak](bool yes) {
                auto self = weak.lock();
                if (!self) return;
                self->tick(2, yes);
                self->setRow(1, yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
                self->setRow(2, yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
            },
            [weak](const rt::Ref<ns::Error>& error) {
                ns::log("%@", error);
                if (auto self = weak.lock()) self->giveupRemainItem(2, error);
            },
            [weak] {
                if (auto self = weak.lock()) self->playedBack();
            }));
}

void HeadsetPlugViewController::playedBack() {
    show(kTipLabel2, "LOUDERSPEAKER_CONTROLLER_ANSWER");
    show(kTipLabel, "HEADSET_CONTROLLER_PLAY_MUSIC");
    const auto sample = ns::Bundle::mainBundle()->pathForResourceOfType("sample", "m4a");
    const rt::Weak<Headset> weak(rt::retained(this));
    stages_->addDisposable(
        playUntilAnswered(&Headset::player2_, sample ? ns::URL::fileURLWithPath(sample->utf8()) : nullptr, "play done.")
            ->subscribeNextErrorCompleted(
            [weak](bool yes) {
                auto self = weak.lock();
                if (!self) return;
                self->tick(3, yes);
                self->setRow(3, yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
                if (auto question = self->label<kTipLabel2>()) question->setHidden(true);
                self->hidenButtons(true);
                self->show(kTipLabel, "HEADSET_CONTROLLER_UNPLUG");
            },
            [weak](const rt::Ref<ns::Error>& error) {
                ns::log("%@", error);
                if (auto self = weak.lock()) self->giveupRemainItem(3, error);
            },
            [weak] {
                if (auto self = weak.lock()) self->unplug();
            }));
}

void HeadsetPlugViewController::unplug() {
    const rt::Weak<Headset> weak(rt::retained(this));
    stages_->addDisposable(headsetRouteReasons()->take(1)->subscribeCompleted([weak] {
        ns::log("found headset plug out.");
        auto self = weak.lock();
        if (!self || self->isEnterBackgournd_) return;
        self->setRow(4, TestBaseModel::kPassed);
        self->checkResult();
        self->gotoResultView();
    }));
}

} // namespace ft
