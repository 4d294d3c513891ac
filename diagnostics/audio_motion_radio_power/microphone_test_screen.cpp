#include "diagnostics/audio_motion_radio_power/microphone_test_screen.h"

#include "diagnostics/audio_motion_radio_power/radio_steps.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subscriber.h"
#include "streams/uikit/delegate_signals.h"

namespace ft {

namespace {

constexpr const char* kMicrophoneProductName = "Quarnotix";
constexpr long kMicrophoneFormatAac = 1633772320; // 'aac '

} // namespace

rt::Ref<ns::MutableDictionary> microphoneRecordSettings() {
    auto settings = ns::MutableDictionary::make();
    settings->setObjectForKey(ns::Number::withLong(kMicrophoneFormatAac), av::FormatIDKey);
    settings->setObjectForKey(ns::Number::withDouble(44100.0), av::SampleRateKey);
    settings->setObjectForKey(ns::Number::withLong(2), av::NumberOfChannelsKey);
    return settings;
}

bool headsetPluggedIn() {
    return av::AudioSession::sharedInstance()->currentRoute()->hasOutput(av::AudioSessionPortHeadphones);
}

std::string documentsFile(std::string_view name) {
    return ns::ApplicationHome::documentsDirectory() + "/" + std::string(name);
}

void askRecordPermission(BaseModelViewController& screen, std::string_view alertKey, std::function<void()> granted) {
    const rt::Weak<BaseModelViewController> weak(rt::retained(&screen));
    const std::string key(alertKey);
    auto refused = [weak, key] {
        if (!weak.lock()) return;
        auto message = ns::stringWithFormat(localized(key)->utf8(), ns::String::make(kMicrophoneProductName));
        auto alert = rt::make<ui::AlertView>(ns::String::make(""), message, nullptr, localized("BASETEST_CONTROLLER_YES"));
        es::buttonClickedSignal(alert.get())->subscribeNext([weak](const rt::Id&) {
            auto self = weak.lock();
            if (!self) return;
            setEveryRowResult(*self, TestBaseModel::kFailed);
            self->setVerdict(TestBaseModel::kFailed, "microphone access is refused");
            self->gotoResultView();
        });
        alert->show();
    };
    // The reply may come from any thread: the screen goes on on the main queue.
    av::AudioSession::sharedInstance()->requestRecordPermission(
        [granted = std::move(granted), refused = std::move(refused)](bool yes) {
            if (yes)
                dispatch::async(dispatch::Queue::main(), granted);
            else
                dispatch::async(dispatch::Queue::main(), refused);
        });
}

void playAndRecordWhileShown(BaseModelViewController& screen, unsigned long options, rt::Ref<ns::String>& category,
                             unsigned long& option) {
    const auto& session = av::AudioSession::sharedInstance();
    category = session->category();
    option = session->categoryOptions();
    session->setCategoryWithOptions(av::AudioSessionCategoryPlayAndRecord, options);
    const rt::Weak<BaseModelViewController> weak(rt::retained(&screen));
    screen.present()->subscribeNext([weak, category, option](bool shown) {
        if (shown) {
            if (auto self = weak.lock()) self->hidenButtons(true);
            return;
        }
        if (category) av::AudioSession::sharedInstance()->setCategoryWithOptions(category->utf8(), option);
    });
}

void setEveryRowResult(BaseModelViewController& screen, std::int64_t code) {
    const auto& rows = screen.subItemlist();
    for (std::size_t row = 0; rows && row < rows->count(); ++row) setRadioStepResult(rows, row, int(code));
}

RT_DEFINE_CLASS(MicrophoneTestScreen, "MicrophoneTestScreen", BaseModelViewController,
                rt::classMethod("extraMessage", &MicrophoneTestScreen::extraMessage),
                rt::classMethod("recordSettings", &microphoneRecordSettings),
                rt::classMethod("isHeadsetPluggedIn", &headsetPluggedIn),
                rt::prop("step1", &MicrophoneTestScreen::step1, &MicrophoneTestScreen::setStep1,
                         {.memory = rt::Memory::Weak}),
                rt::prop("step2", &MicrophoneTestScreen::step2, &MicrophoneTestScreen::setStep2,
                         {.memory = rt::Memory::Weak}),
                rt::prop("number", &MicrophoneTestScreen::number, &MicrophoneTestScreen::setNumber,
                         {.memory = rt::Memory::Weak}),
                rt::prop("label", &MicrophoneTestScreen::label, &MicrophoneTestScreen::setLabel,
                         {.memory = rt::Memory::Weak}),
                rt::prop("recorder", &MicrophoneTestScreen::recorder),
                rt::prop("player1", &MicrophoneTestScreen::player1),
                rt::prop("category", &MicrophoneTestScreen::category), rt::prop("option", &MicrophoneTestScreen::option),
                rt::adopts(av::audioRecorderDelegateProtocol()), rt::adopts(av::audioPlayerDelegateProtocol()))

MicrophoneTestScreen::MicrophoneTestScreen() = default;

MicrophoneTestScreen::~MicrophoneTestScreen() {
    ns::log("dealloc");
}

rt::Ref<ns::String> MicrophoneTestScreen::extraMessage() {
    return headsetPluggedIn() ? localized("MICROPHONERECORD_CONTROLLER_WARRING") : nullptr;
}

void MicrophoneTestScreen::loadAudio() {
    setSubItemlist(radioStepRows({"Record voice", "Play record voice"}));
    if (auto title = labelTitle()) {
        title->setText(localized("MICROPHONERECORD_CONTROLLER_TITLE_INIT"));
        title->setHidden(false);
    }
    playAndRecordWhileShown(*this, 8, category_, option_);
}

void MicrophoneTestScreen::showCount(std::string_view key, std::int64_t count) {
    if (auto label = number()) label->setText(ns::stringWithFormat(localized(key)->utf8(), long(count)));
}

rt::Ref<es::Signal> MicrophoneTestScreen::countdown(const rt::Ref<es::Signal>& leaving, bool errorFirst) {
    const rt::Weak<MicrophoneTestScreen> weak(rt::retained(this));
    return es::Signal::createSignal([weak, leaving, errorFirst](
                                        const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        auto counter = std::make_shared<std::int64_t>(kWaitSeconds);
        self->showCount("MICROPHONERECORD_CONTROLLER_WAIT", *counter);
        --*counter;
        auto stage = es::CompoundDisposable::make();
        stage->addDisposable(es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                                 ->take(std::size_t(*counter + 1))
                                 ->subscribeNextCompleted(
                                     [weak, counter](const rt::Id&) {
                                         ns::log("second == %ld", long(*counter));
                                         if (auto self = weak.lock())
                                             self->showCount("MICROPHONERECORD_CONTROLLER_WAIT", *counter);
                                         --*counter;
                                     },
                                     [subscriber, stage] {
                                         if (!stage->isDisposed()) subscriber->sendCompleted();
                                     }));
        stage->addDisposable(leaving->subscribeNext([subscriber, stage, errorFirst](const rt::Id&) {
            ns::log("has exit.");
            if (errorFirst) subscriber->sendError(nullptr);
            stage->dispose();
            if (!errorFirst) subscriber->sendError(nullptr);
        }));
        return stage;
    });
}

void MicrophoneTestScreen::countRecording(const rt::Ref<es::CompoundDisposable>& stage, std::function<void()> done) {
    if (auto label = number()) label->setHidden(false);
    auto counter = std::make_shared<std::int64_t>(kRecordSeconds);
    showCount("MICROPHONERECORD_CONTROLLER_SPEAK", *counter);
    --*counter;
    const rt::Weak<MicrophoneTestScreen> weak(rt::retained(this));
    stage->addDisposable(es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                             ->take(std::size_t(kRecordSeconds))
                             ->subscribeNextCompleted(
                                 [weak, counter](const rt::Id&) {
                                     ns::log("recording sec %ld", long(*counter));
                                     if (auto self = weak.lock())
                                         self->showCount("MICROPHONERECORD_CONTROLLER_SPEAK", *counter);
                                     --*counter;
                                 },
                                 [weak, done = std::move(done)] {
                                     auto self = weak.lock();
                                     if (!self) return;
                                     ns::log("record completed.");
                                     if (self->recorder_) self->recorder_->stop();
                                     if (auto label = self->number()) label->setHidden(true);
                                     done();
                                 }));
}

void MicrophoneTestScreen::startRecorder() {
    recorder_ = av::AudioRecorder::initWithURL(ns::URL::fileURLWithPath(documentsFile(kRecordingFile)),
                                               microphoneRecordSettings());
    if (!recorder_) return;
    recorder_->prepareToRecord();
    recorder_->record();
}

void MicrophoneTestScreen::startPlayer(std::string_view titleKey) {
    if (auto label = number()) label->setHidden(true);
    player1_ = av::AudioPlayer::initWithContentsOfURL(ns::URL::fileURLWithPath(documentsFile(kRecordingFile)));
    if (player1_) {
        player1_->setDelegate(rt::retained(this));
        player1_->prepareToPlay();
        player1_->play();
    }
    ns::log("start play voice.");
    if (auto title = labelTitle()) title->setText(localized(titleKey));
    if (auto question = label()) question->setHidden(false);
    hidenButtons(false);
}

void MicrophoneTestScreen::showAnswer(bool yes) {
    if (auto icon = step2()) icon->setImage(ui::Image::imageNamed(yes ? "icon_success_shape" : "icon_fail_shape"));
    setEveryRowResult(*this, yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
}

void MicrophoneTestScreen::stopRecorderAndPlayer() {
    if (recorder_) {
        rt::SyncGuard lock(recorder_.get());
        if (recorder_->isRecording()) recorder_->stop();
    }
    if (player1_) {
        rt::SyncGuard lock(player1_.get());
        if (player1_->isPlaying()) player1_->stop();
    }
}

std::pair<rt::Ref<ui::Label>, rt::Ref<ui::Label>> addMicrophoneScene(const rt::Ref<ui::View>& view,
                                                                     MicrophoneTestScreen& screen) {
    const double width = view->bounds().width();
    const auto steps = addRadioStepLines(view, 2);
    screen.setStep1(steps[0].tick);
    screen.setStep2(steps[1].tick);
    auto number = addSceneLabel(view, cg::Rect::make(20, 280, width - 40, 70), 24);
    screen.setNumber(number);
    auto question = addSceneLabel(view, cg::Rect::make(20, 370, width - 40, 80), 18);
    question->setHidden(true);
    screen.setLabel(question);
    return {steps[0].caption, steps[1].caption};
}

} // namespace ft
